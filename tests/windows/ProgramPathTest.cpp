// The program path on Windows: the module's full path, which the scanner's messages begin with.
#include <gtest/gtest.h>

#include <cctype>

#include "frontend/Arguments.h"
#include "frontend/ProgramPath.h"

TEST(ProgramPathWin32, FullPathOfTheRunningModule) {
  const std::string Path = RunningProgramPath();
  ASSERT_GT(Path.size(), 7u);
  EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(Path[0]))) << Path;
  EXPECT_EQ(Path.substr(1, 2), ":\\") << Path;
  std::string Suffix = Path.substr(Path.size() - 4);
  for (char& Ch : Suffix) Ch = static_cast<char>(std::tolower(static_cast<unsigned char>(Ch)));
  EXPECT_EQ(Suffix, ".exe") << Path;
}

TEST(ProgramPathWin32, ElementZeroIsTheModulePathNotAsTyped) {
  const char* const Argv[] = {"typed-name", "-f"};
  const std::vector<std::string> Arguments = ProgramArguments(2, Argv);
  ASSERT_EQ(Arguments.size(), 2u);
  EXPECT_EQ(Arguments[0], RunningProgramPath());
  EXPECT_EQ(Arguments[1], "-f");
}
