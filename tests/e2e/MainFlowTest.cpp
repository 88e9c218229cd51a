// qkl against the virtual chip: messages, exit codes and what reaches the chip. The flows run
// in-process; the command lines that end in the program's own exits run the built qkl.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"
#include "tests/support/QklRun.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WireDecoder.h"
#include "tests/support/ParamNames.h"

namespace {

namespace fs = std::filesystem;
using simtest::AfterBanner;
using simtest::Found;
using simtest::NoFileName;
using simtest::RunQkl;
using simtest::RunQklInProcess;
using namespace std::chrono_literals;

class Qkl : public ::testing::Test {
protected:
  std::string File(const std::string& Name) const { return Folder.File(Name); }
  std::string Image(const std::string& Name, const std::vector<uint8_t>& Bytes) const {
    return Folder.Write(Name, Bytes);
  }
  static int Resets(simtest::ChipUnderTest& Chip) {
    const std::vector<std::string> Lines = Chip.Log().Lines();
    return static_cast<int>(std::count(Lines.begin(), Lines.end(), "reset"));
  }
  simtest::TempFolder Folder;
};

// Runs at 115200 baud and, with -f, at 230400.
class QklAtBothRates : public Qkl, public ::testing::WithParamInterface<bool> {
protected:
  std::vector<std::string> Args(std::vector<std::string> Arguments) const {
    if (GetParam()) Arguments.insert(Arguments.begin(), "-f");
    return Arguments;
  }
  std::string Rate() const { return GetParam() ? "230400" : "115200"; }
};

TEST_P(QklAtBothRates, FindsTheChipWithoutAFileName) {
  simtest::ThreadChip Chip;
  const simtest::QklRun Run = RunQklInProcess(Args({"-d", Chip.SlavePath()}));
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Lines, AfterBanner({NoFileName, Found}));
  EXPECT_EQ(Run.Output.substr(0, simtest::BannerText().size()), simtest::BannerText());
  EXPECT_NE(Chip.Log().WaitFor("link rate " + Rate() + " baud", 1s), "");
  EXPECT_EQ(Chip.Log().WaitFor("mode", 100ms), "");  // nothing was downloaded
}

TEST_P(QklAtBothRates, NoChipExits100WithNoFurtherLine) {
  qkl::sim::ChipSettings Settings;
  Settings.faults.absent = true;
  simtest::ThreadChip Chip(Settings);
  const simtest::QklRun Run = RunQklInProcess(Args({"-d", Chip.SlavePath()}));
  EXPECT_EQ(Run.ExitCode, 100);
  EXPECT_EQ(Run.Lines, AfterBanner({NoFileName}));
}

TEST_P(QklAtBothRates, ModeThreeWritesTheImageIntoTheEepromFile) {
  const std::string Eeprom = File("eeprom.bin");
  simtest::ProcessChip Chip({"--eeprom", Eeprom});
  const std::vector<uint8_t> Bytes = simtest::TinyImage(300);
  const simtest::QklRun Run =
      RunQklInProcess(Args({"-d", Chip.SlavePath(), "-p", "3", Image("image.binary", Bytes)}));
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Lines, AfterBanner({Found}));
  const std::vector<uint8_t> Written = simtest::FileBytes(Eeprom);
  ASSERT_EQ(Written.size(), 32768u);
  EXPECT_TRUE(std::equal(Bytes.begin(), Bytes.end(), Written.begin()));
  EXPECT_EQ(
      std::vector<uint8_t>(Written.begin() + Bytes.size(), Written.begin() + Bytes.size() + 8),
      (std::vector<uint8_t>{0xFF, 0xFF, 0xF9, 0xFF, 0xFF, 0xFF, 0xF9, 0xFF}));
  EXPECT_TRUE(std::all_of(Written.begin() + Bytes.size() + 8, Written.end(),
                          [](uint8_t Byte) { return Byte == 0; }));
  EXPECT_NE(Chip.Log().WaitFor("mode 3", 1s), "");
  EXPECT_NE(Chip.Log().WaitFor("long count 304", 1s), "");
  EXPECT_NE(Chip.Log().WaitFor("verdict EEPROM verify pass", 1s), "");
}

TEST_P(QklAtBothRates, WireCarriesTheModeTheCountAndExactlyTheImageLongs) {
  simtest::ThreadChip Chip(simtest::InstantChip());
  const std::vector<uint8_t> Bytes = simtest::TinyImage(1000);
  const simtest::QklRun Run =
      RunQklInProcess(Args({"-d", Chip.SlavePath(), "-p", "2", Image("image.binary", Bytes)}));
  EXPECT_EQ(Run.ExitCode, 0);
  const simtest::DecodedDownload Download = simtest::DecodeDownload(Chip.LastExchange().bytes);
  ASSERT_TRUE(Download.Complete);
  EXPECT_EQ(Download.Mode, 2u);
  EXPECT_EQ(Download.Count, Bytes.size() / 4);
  EXPECT_EQ(Download.Longs, simtest::LongsOf(Bytes));
  EXPECT_EQ(Download.After,
            std::string(6, '\xF9'));  // a sync poll and an answered poll per verdict
}

INSTANTIATE_TEST_SUITE_P(Rates, QklAtBothRates, ::testing::Bool(), simtest::SpeedName);

TEST_F(Qkl, FilesThatCannotBeLoadedEndTheRunBeforeThePortIsTouched) {
  simtest::ThreadChip Chip;
  const std::vector<uint8_t> Bad = simtest::WithBadChecksum(simtest::TinyImage(4));
  struct Row {
    std::string File;
    int ExitCode;
    std::string Message;
  };
  for (const Row& Each : {Row{File("missing.binary"), 2, "Could not load Binary"},
                          Row{Image("bad.binary", Bad), 3, "Binary Checksum Invalid!"}}) {
    const simtest::QklRun Run = RunQklInProcess({"-d", Chip.SlavePath(), Each.File});
    EXPECT_EQ(Run.ExitCode, Each.ExitCode);
    EXPECT_EQ(Run.Lines, AfterBanner({Each.Message}));
  }
  EXPECT_EQ(Resets(Chip), 1);  // the power-on reset only
}

TEST_F(Qkl, GoodImageAndNoChipExits100WithNoMessage) {
  qkl::sim::ChipSettings Settings;
  Settings.faults.absent = true;
  simtest::ThreadChip Chip(Settings);
  const simtest::QklRun Run =
      RunQklInProcess({"-d", Chip.SlavePath(), Image("good.binary", simtest::TinyImage(4))});
  EXPECT_EQ(Run.ExitCode, 100);
  EXPECT_EQ(Run.Lines, AfterBanner({}));
}

TEST_F(Qkl, CommandLineExits) {
  const simtest::QklRun Version = RunQkl({"-v"});
  EXPECT_EQ(Version.ExitCode, 0);
  EXPECT_EQ(Version.Lines, AfterBanner({}));
  const simtest::QklRun Short = RunQkl({"-vn"});
  EXPECT_EQ(Short.ExitCode, 0);
  EXPECT_EQ(Short.Lines, std::vector<std::string>{"0.07-pre1"});
  const simtest::QklRun Help = RunQkl({"-h"});
  EXPECT_EQ(Help.ExitCode, 1);
  EXPECT_EQ(Help.Output, simtest::UsageText());
  const simtest::QklRun Unknown = RunQkl({"-x"});
  EXPECT_EQ(Unknown.ExitCode, 1);
  ASSERT_EQ(Unknown.Lines.size(), 12u);
  EXPECT_TRUE(Unknown.Lines[0].ends_with(": illegal option -- x"));
  const simtest::QklRun Missing = RunQkl({"-d"});
  EXPECT_EQ(Missing.ExitCode, 1);
  ASSERT_EQ(Missing.Lines.size(), 12u);
  EXPECT_TRUE(Missing.Lines[0].ends_with(": option requires an argument -- d"));
  const simtest::QklRun Mode = RunQkl({"-p", "4"});
  EXPECT_EQ(Mode.ExitCode, 1);
  EXPECT_EQ(Mode.Lines, std::vector<std::string>{"Load mode must be between 1 & 3"});
  const simtest::QklRun NotANumber = RunQkl({"-p", "abc"});
  EXPECT_EQ(NotANumber.ExitCode, 217);
  EXPECT_NE(NotANumber.Output.find("\"abc\" is an invalid integer"), std::string::npos);
}

struct DownloadFailure {
  const char* Name;
  qkl::sim::ChipFaults Faults;
  bool Instant;
  const char* Mode;
  const char* Message;
};

qkl::sim::ChipFaults SilentAfter(int Verdicts) {
  qkl::sim::ChipFaults Faults;
  Faults.silentAfterVerdict = Verdicts;
  return Faults;
}

template <typename Setter>
qkl::sim::ChipFaults Fault(Setter Set) {
  qkl::sim::ChipFaults Faults;
  Set(Faults);
  return Faults;
}

class QklDownloadFailure : public Qkl, public ::testing::WithParamInterface<DownloadFailure> {};

TEST_P(QklDownloadFailure, EndsWithItsTextAndExitCode1) {
  qkl::sim::ChipSettings Settings;
  Settings.instant = GetParam().Instant;
  Settings.faults = GetParam().Faults;
  simtest::ThreadChip Chip(Settings);
  const simtest::QklRun Run = RunQklInProcess({"-d", Chip.SlavePath(), "-p", GetParam().Mode,
                                               Image("image.binary", simtest::TinyImage(700))});
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_EQ(Run.Lines, AfterBanner({Found, GetParam().Message})) << Chip.Log().Text();
}

INSTANTIATE_TEST_SUITE_P(
    EveryStage, QklDownloadFailure,
    ::testing::Values(
        DownloadFailure{"SilentChip", SilentAfter(0), true, "1",
                        "Communication Timeout verifying RAM"},
        DownloadFailure{"WrongChecksum", Fault([](auto& F) { F.failRam = true; }), true, "1",
                        "Ram verify error"},
        DownloadFailure{"SilentWhileProgramming", SilentAfter(1), true, "3",
                        "Communication Timeout writing EEPROM"},
        DownloadFailure{"ProgramError", Fault([](auto& F) { F.failProgram = true; }), true, "2",
                        "EEPROM Program Error"},
        DownloadFailure{"SilentWhileVerifying", SilentAfter(2), true, "3",
                        "Communication Timeout verifying EEPROM"},
        DownloadFailure{"VerifyError", Fault([](auto& F) { F.failVerify = true; }), true, "3",
                        "EEPROM Verify Error"},
        // 200 polls answered with other bytes within the 10000 ms: the stage has not passed.
        DownloadFailure{"NoisyWhileProgramming", Fault([](auto& F) { F.noiseWhileBusy = 2; }),
                        false, "3", "Communication Timeout writing EEPROM"},
        DownloadFailure{"LineClosedMidImage",
                        Fault([](auto& F) { F.closeAfterBytes = 328 + 22 + 1000; }), true, "1",
                        "Catastrophic Communication Error"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(Qkl, ReadBackWithoutAChipOrWithoutAnAnsweringReader) {
  qkl::sim::ChipSettings Settings;
  Settings.faults.absent = true;
  simtest::ThreadChip Absent(Settings);
  const simtest::QklRun NoChip = RunQklInProcess({"-d", Absent.SlavePath(), "-u", File("dump")});
  EXPECT_EQ(NoChip.ExitCode, 1);
  EXPECT_EQ(NoChip.Lines.back(), "Unable to locate Propeller on Port (" + Absent.SlavePath() + ")");
  // The boot loader takes the reader program, but nothing runs it, so the reader never answers.
  qkl::sim::ChipSettings NoEmulator = simtest::InstantChip();
  NoEmulator.runImages = false;
  simtest::ThreadChip Chip(NoEmulator);
  const simtest::QklRun NoReader = RunQklInProcess({"-d", Chip.SlavePath(), "-u", File("dump")});
  EXPECT_EQ(NoReader.ExitCode, 2);
  EXPECT_EQ(NoReader.Lines.back(), "Unable to read Propeller on Port (" + Chip.SlavePath() + ")");
  EXPECT_FALSE(fs::exists(File("dump.eeprom")));
}

TEST_F(Qkl, FileListTestMarksEveryEntry) {
  simtest::ThreadChip Chip(simtest::InstantChip());
  const std::vector<uint8_t> Bad = simtest::WithBadChecksum(simtest::TinyImage(4));
  const std::string Good = Image("good.binary", simtest::TinyImage(4));
  const std::string List = File("list.txt");
  std::ofstream(List) << Good << "\n"
                      << File("missing.binary") << "\n"
                      << Image("bad.binary", Bad) << "\n\n"
                      << Good;
  const simtest::QklRun Run = RunQklInProcess({"-d", Chip.SlavePath(), "-t", "-p", "3", List});
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(
      Run.Lines,
      AfterBanner({".b " + File("missing.binary"), "Bb ",
                   ".Tested 5 Files with 3 Dud binaries, 0 Detection failures and 0 Load Errors"}));
  EXPECT_EQ(Chip.Log().CountOf("mode 1"), 2);  // -t loads into RAM whatever -p says
}

TEST_F(Qkl, FileListTestReadsStandardInputWithoutAFileName) {
  simtest::ThreadChip Chip(simtest::InstantChip());
  const std::string Good = Image("good.binary", simtest::TinyImage(4));
  const simtest::QklRun Run = RunQklInProcess({"-d", Chip.SlavePath(), "-t"}, Good + "\n");
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(
      Run.Lines,
      AfterBanner({NoFileName,
                   ".Tested 1 Files with 0 Dud binaries, 0 Detection failures and 0 Load Errors"}));
}

}  // namespace
