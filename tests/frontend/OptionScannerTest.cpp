// The option scanner and the run settings, for command lines that do not end the process.
#include <gtest/gtest.h>

#include <sstream>

#include "frontend/Arguments.h"
#include "frontend/Console.h"
#include "frontend/OptionScanner.h"
#include "frontend/Options.h"

namespace {

// The settings of a command line that does not end the run; the scanner as the scan left it.
struct TParse {
  TOptionScanner Scanner;
  TRunSettings Settings;
};

TParse Parse(std::vector<std::string> Args) {
  Args.insert(Args.begin(), "qkl");
  TParse Result{TOptionScanner(Args), {}};
  std::ostringstream Out;
  std::ostringstream Err;
  TConsole Console(nullptr, Out, Err);
  const TParsedOptions Parsed = ParseOptions(Result.Scanner, Console);
  EXPECT_EQ(Parsed.Exit, std::nullopt) << ::testing::PrintToString(Args);
  EXPECT_EQ(Out.str(), "");
  Result.Settings = Parsed.Settings;
  return Result;
}

struct TSettingsCase {
  std::vector<std::string> Args;
  TRunSettings Expected;
};

// Expected settings; Flags holds the letters of the flags that are set (f, t, l, u).
TRunSettings Settings(const std::string& Port, const std::string& File = "", int32_t Mode = 1,
                      const std::string& Flags = "") {
  TRunSettings Expected;
  Expected.PortName = Port;
  Expected.FileName = File;
  Expected.ProgramMode = Mode;
  Expected.HighSpeed = Flags.find('f') != std::string::npos;
  Expected.FileListTest = Flags.find('t') != std::string::npos;
  Expected.DetectionTest = Flags.find('l') != std::string::npos;
  Expected.ReadBack = Flags.find('u') != std::string::npos;
  return Expected;
}

}  // namespace

void PrintTo(const TRunSettings& S, std::ostream* Out) {
  *Out << "{Port " << S.PortName << ", File " << S.FileName << ", Mode " << S.ProgramMode << ", f"
       << S.HighSpeed << " t" << S.FileListTest << " l" << S.DetectionTest << " u" << S.ReadBack
       << "}";
}

TEST(OptionScanner, SettingsFromCommandLines) {
  const std::string Long(300, 'n');
  const TSettingsCase Cases[] = {
      {{}, Settings("COM2")},
      {{"-f", "-d", "COM5", "image.bin"}, Settings("COM5", "image.bin", 1, "f")},
      {{"image.bin", "-d", "COM5"}, Settings("COM5", "image.bin")},
      {{"-ftu", "out.eeprom"}, Settings("COM2", "out.eeprom", 1, "ftu")},
      {{"-dCOM7"}, Settings("COM7")},
      {{"-d", "COM7"}, Settings("COM7")},
      {{"-d", "-f"}, Settings("-f")},
      {{"-d", "COM3", "-d", "COM4"}, Settings("COM4")},
      {{"-d", ""}, Settings("COM2")},
      {{"-d", Long, Long + ".binary"}, Settings(Long, Long + ".binary")},
      {{"-p", "3"}, Settings("COM2", "", 3)},
      {{"-p2"}, Settings("COM2", "", 2)},
      {{"-p", "0x3"}, Settings("COM2", "", 3)},
      {{"-p", "$2"}, Settings("COM2", "", 2)},
      {{"-p", "+1"}, Settings("COM2", "", 1)},
      {{"--", "-f"}, Settings("COM2", "-f")},
      {{"-"}, Settings("COM2", "-")},
      {{"a.bin", "b.bin"}, Settings("COM2", "a.bin")},
      {{"-l", "-t", "list"}, Settings("COM2", "list", 1, "tl")},
      {{"-u", "-p", "2", "dump"}, Settings("COM2", "dump", 2, "u")},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(Parse(Case.Args).Settings, Case.Expected) << ::testing::PrintToString(Case.Args);
  }
}

TEST(OptionScanner, NonOptionsEndUpBehindOptionsInTheirOrder) {
  const TParse Result = Parse({"a", "-f", "b", "-d", "X", "c", "--", "-p"});
  const std::vector<std::string> Expected{"-f", "-d", "X", "--", "a", "b", "c", "-p"};
  const auto& Vector = Result.Scanner.Arguments();
  EXPECT_EQ(std::vector<std::string>(Vector.begin() + 1, Vector.end()), Expected);
  EXPECT_EQ(Result.Scanner.Index(), 5);
  EXPECT_EQ(Result.Settings.FileName, "a");
  EXPECT_EQ(Result.Settings.PortName, "X");
  EXPECT_TRUE(Result.Settings.HighSpeed);
}

TEST(OptionScanner, EndIndexIsPastTheLastWithoutNonOptions) {
  const TParse Result = Parse({"-f", "-d", "COM3"});
  EXPECT_EQ(Result.Scanner.Index(), 4);
  EXPECT_EQ(Result.Settings.FileName, "");
}

TEST(OptionScanner, ArgumentVectorHoldsTheRunningProgram) {
  const char* Argv[] = {"qkl"};
  const TOptionScanner Scanner(ProgramArguments(1, Argv));
  EXPECT_FALSE(Scanner.Argument(0).empty());
  EXPECT_NE(Scanner.Argument(0), "qkl") << "element 0 is the executable's path, not argv[0]";
  EXPECT_EQ(Scanner.Argument(1), "");
  EXPECT_EQ(Scanner.Argument(-1), "");
}
