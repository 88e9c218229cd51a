// The option scanner and the run settings, for command lines that do not end the process.
#include <gtest/gtest.h>

#include <sstream>

#include "frontend/Arguments.h"
#include "frontend/Console.h"
#include "frontend/OptionScanner.h"
#include "frontend/Options.h"

namespace {

void Parse(std::vector<std::string> Args) {
  Args.insert(Args.begin(), "qkl");
  std::vector<const char*> Argv;
  for (const auto& Arg : Args) Argv.push_back(Arg.c_str());
  SetArguments(static_cast<int>(Argv.size()), Argv.data());
  OptionIndex = 0;
  std::ostringstream Out;
  std::ostringstream Err;
  TConsole Console(nullptr, Out, Err);
  EXPECT_EQ(ParseOptions(Console), std::nullopt) << ::testing::PrintToString(Args);
  EXPECT_EQ(Out.str(), "");
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
    Parse(Case.Args);
    EXPECT_EQ(RunSettings, Case.Expected) << ::testing::PrintToString(Case.Args);
  }
}

TEST(OptionScanner, SettingsStartAfreshOnEveryParse) {
  Parse({"-f", "-u", "-p", "3", "-d", "COM9", "x"});
  Parse({});
  EXPECT_FALSE(RunSettings.HighSpeed);
  EXPECT_FALSE(RunSettings.ReadBack);
  EXPECT_EQ(RunSettings.ProgramMode, 1);
  EXPECT_EQ(RunSettings.PortName, "COM2");
  EXPECT_EQ(RunSettings.FileName, "");
}

TEST(OptionScanner, NonOptionsEndUpBehindOptionsInTheirOrder) {
  Parse({"a", "-f", "b", "-d", "X", "c", "--", "-p"});
  const std::vector<std::string> Expected{"-f", "-d", "X", "--", "a", "b", "c", "-p"};
  const auto& Vector = ArgumentVector();
  EXPECT_EQ(std::vector<std::string>(Vector.begin() + 1, Vector.end()), Expected);
  EXPECT_EQ(OptionIndex, 5);
  EXPECT_EQ(RunSettings.FileName, "a");
  EXPECT_EQ(RunSettings.PortName, "X");
  EXPECT_TRUE(RunSettings.HighSpeed);
}

TEST(OptionScanner, EndIndexIsPastTheLastWithoutNonOptions) {
  Parse({"-f", "-d", "COM3"});
  EXPECT_EQ(OptionIndex, 4);
  EXPECT_EQ(RunSettings.FileName, "");
}

TEST(OptionScanner, ArgumentVectorHoldsTheRunningProgram) {
  Parse({});
  EXPECT_FALSE(Argument(0).empty());
  EXPECT_NE(Argument(0), "qkl") << "element 0 is the executable's path, not argv[0]";
  EXPECT_EQ(Argument(1), "");
  EXPECT_EQ(Argument(-1), "");
}
