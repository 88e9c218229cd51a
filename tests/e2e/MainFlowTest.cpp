// qkl against the virtual chip: messages, exit codes and what reaches the chip. The flows run
// in-process; the command lines that end in the program's own exits run the built qkl.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/e2e/QklRun.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"
#include "tests/support/WireDecoder.h"

namespace {

namespace fs = std::filesystem;
using e2e::AfterBanner;
using e2e::NoFileName;
using e2e::RunQkl;
using e2e::RunQklInProcess;
using namespace std::chrono_literals;

const std::string Found = "Propeller Version 1 Found!";

class Qkl : public ::testing::Test {
protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / ("qkl-e2e-" + std::to_string(::getpid()));
    fs::create_directories(Folder);
  }
  void TearDown() override { fs::remove_all(Folder); }
  std::string File(const std::string& Name) const { return (Folder / Name).string(); }
  std::string Image(const std::string& Name, const std::vector<uint8_t>& Bytes) const {
    simtest::WriteFile(File(Name), Bytes);
    return File(Name);
  }
  static sim::ChipSettings Instant() {
    sim::ChipSettings Settings;
    Settings.Instant = true;
    return Settings;
  }
  static int Resets(simtest::ChipUnderTest& Chip) {
    const std::vector<std::string> Lines = Chip.Log().Lines();
    return static_cast<int>(std::count(Lines.begin(), Lines.end(), "reset"));
  }
  fs::path Folder;
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
  const e2e::QklRun Run = RunQklInProcess(Args({"-d", Chip.SlavePath()}));
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Lines, AfterBanner({NoFileName, Found}));
  EXPECT_EQ(Run.Output.substr(0, 34), "Orlas Quillkit Loader v0.07-pre1\r\n");
  EXPECT_NE(Chip.Log().WaitFor("link rate " + Rate() + " baud", 1s), "");
  EXPECT_EQ(Chip.Log().WaitFor("mode", 100ms), "");  // nothing was downloaded
}

TEST_P(QklAtBothRates, NoChipExits100WithNoFurtherLine) {
  sim::ChipSettings Settings;
  Settings.Faults.Absent = true;
  simtest::ThreadChip Chip(Settings);
  const e2e::QklRun Run = RunQklInProcess(Args({"-d", Chip.SlavePath()}));
  EXPECT_EQ(Run.ExitCode, 100);
  EXPECT_EQ(Run.Lines, AfterBanner({NoFileName}));
}

TEST_P(QklAtBothRates, ModeThreeWritesTheImageIntoTheEepromFile) {
  const std::string Eeprom = File("eeprom.bin");
  simtest::ProcessChip Chip({"--eeprom", Eeprom});
  const std::vector<uint8_t> Bytes = simtest::TinyImage(300);
  const e2e::QklRun Run = RunQklInProcess(Args({"-d", Chip.SlavePath(), "-p", "3", Image("image.binary", Bytes)}));
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Lines, AfterBanner({Found}));
  std::ifstream In(Eeprom, std::ios::binary);
  const std::vector<uint8_t> Written((std::istreambuf_iterator<char>(In)), {});
  ASSERT_EQ(Written.size(), 32768u);
  EXPECT_TRUE(std::equal(Bytes.begin(), Bytes.end(), Written.begin()));
  EXPECT_EQ(std::vector<uint8_t>(Written.begin() + Bytes.size(), Written.begin() + Bytes.size() + 8),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xF9, 0xFF, 0xFF, 0xFF, 0xF9, 0xFF}));
  EXPECT_TRUE(std::all_of(Written.begin() + Bytes.size() + 8, Written.end(), [](uint8_t Byte) { return Byte == 0; }));
  EXPECT_NE(Chip.Log().WaitFor("mode 3", 1s), "");
  EXPECT_NE(Chip.Log().WaitFor("long count 304", 1s), "");
  EXPECT_NE(Chip.Log().WaitFor("verdict EEPROM verify pass", 1s), "");
}

TEST_P(QklAtBothRates, WireCarriesTheModeTheCountAndExactlyTheImageLongs) {
  simtest::ThreadChip Chip(Instant());
  const std::vector<uint8_t> Bytes = simtest::TinyImage(1000);
  const e2e::QklRun Run = RunQklInProcess(Args({"-d", Chip.SlavePath(), "-p", "2", Image("image.binary", Bytes)}));
  EXPECT_EQ(Run.ExitCode, 0);
  const simtest::DecodedDownload Download = simtest::DecodeDownload(Chip.LastExchange().Bytes);
  ASSERT_TRUE(Download.Complete);
  EXPECT_EQ(Download.Mode, 2u);
  EXPECT_EQ(Download.Count, Bytes.size() / 4);
  EXPECT_EQ(Download.Longs, simtest::LongsOf(Bytes));
  EXPECT_EQ(Download.After, std::string(6, '\xF9'));  // a sync poll and an answered poll per verdict
}

INSTANTIATE_TEST_SUITE_P(Rates, QklAtBothRates, ::testing::Bool(),
                         [](const auto& Info) { return Info.param ? "HighSpeed" : "NormalSpeed"; });

TEST_F(Qkl, FilesThatCannotBeLoadedEndTheRunBeforeThePortIsTouched) {
  simtest::ThreadChip Chip;
  std::vector<uint8_t> Bad = simtest::TinyImage(4);
  ++Bad[17];
  struct Row {
    std::string File;
    int ExitCode;
    std::string Message;
  };
  for (const Row& Each : {Row{File("missing.binary"), 2, "Could not load Binary"},
                          Row{Image("bad.binary", Bad), 3, "Binary Checksum Invalid!"}}) {
    const e2e::QklRun Run = RunQklInProcess({"-d", Chip.SlavePath(), Each.File});
    EXPECT_EQ(Run.ExitCode, Each.ExitCode);
    EXPECT_EQ(Run.Lines, AfterBanner({Each.Message}));
  }
  EXPECT_EQ(Resets(Chip), 1);  // the power-on reset only
}

TEST_F(Qkl, GoodImageAndNoChipExits100WithNoMessage) {
  sim::ChipSettings Settings;
  Settings.Faults.Absent = true;
  simtest::ThreadChip Chip(Settings);
  const e2e::QklRun Run = RunQklInProcess({"-d", Chip.SlavePath(), Image("good.binary", simtest::TinyImage(4))});
  EXPECT_EQ(Run.ExitCode, 100);
  EXPECT_EQ(Run.Lines, AfterBanner({}));
}

TEST_F(Qkl, CommandLineExits) {
  const e2e::QklRun Version = RunQkl({"-v"});
  EXPECT_EQ(Version.ExitCode, 0);
  EXPECT_EQ(Version.Lines, AfterBanner({}));
  const e2e::QklRun Short = RunQkl({"-vn"});
  EXPECT_EQ(Short.ExitCode, 0);
  EXPECT_EQ(Short.Lines, std::vector<std::string>{"0.07-pre1"});
  const e2e::QklRun Help = RunQkl({"-h"});
  EXPECT_EQ(Help.ExitCode, 1);
  ASSERT_EQ(Help.Lines.size(), 11u);
  EXPECT_EQ(Help.Lines[0], "Program Usage :- qkl (Options) <FileName>");
  EXPECT_EQ(Help.Lines[10], "-u Read Propellers EEPROM into file <FileName> - WARNING will overwrite it if it exists with no prompt!");
  const e2e::QklRun Unknown = RunQkl({"-x"});
  EXPECT_EQ(Unknown.ExitCode, 1);
  ASSERT_EQ(Unknown.Lines.size(), 12u);
  EXPECT_TRUE(Unknown.Lines[0].ends_with(": illegal option -- x"));
  const e2e::QklRun Missing = RunQkl({"-d"});
  EXPECT_EQ(Missing.ExitCode, 1);
  ASSERT_EQ(Missing.Lines.size(), 12u);
  EXPECT_TRUE(Missing.Lines[0].ends_with(": option requires an argument -- d"));
  const e2e::QklRun Mode = RunQkl({"-p", "4"});
  EXPECT_EQ(Mode.ExitCode, 1);
  EXPECT_EQ(Mode.Lines, std::vector<std::string>{"Load mode must be between 1 & 3"});
  const e2e::QklRun NotANumber = RunQkl({"-p", "abc"});
  EXPECT_EQ(NotANumber.ExitCode, 217);
  EXPECT_NE(NotANumber.Output.find("\"abc\" is an invalid integer"), std::string::npos);
}

struct DownloadFailure {
  const char* Name;
  sim::ChipFaults Faults;
  bool Instant;
  const char* Mode;
  const char* Message;
};

sim::ChipFaults SilentAfter(int Verdicts) {
  sim::ChipFaults Faults;
  Faults.SilentAfterVerdict = Verdicts;
  return Faults;
}

template <typename Setter>
sim::ChipFaults Fault(Setter Set) {
  sim::ChipFaults Faults;
  Set(Faults);
  return Faults;
}

class QklDownloadFailure : public Qkl, public ::testing::WithParamInterface<DownloadFailure> {};

TEST_P(QklDownloadFailure, EndsWithItsTextAndExitCode1) {
  sim::ChipSettings Settings;
  Settings.Instant = GetParam().Instant;
  Settings.Faults = GetParam().Faults;
  simtest::ThreadChip Chip(Settings);
  const e2e::QklRun Run =
      RunQklInProcess({"-d", Chip.SlavePath(), "-p", GetParam().Mode, Image("image.binary", simtest::TinyImage(700))});
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_EQ(Run.Lines, AfterBanner({Found, GetParam().Message})) << Chip.Log().Text();
}

INSTANTIATE_TEST_SUITE_P(
    EveryStage, QklDownloadFailure,
    ::testing::Values(
        DownloadFailure{"SilentChip", SilentAfter(0), true, "1", "Communication Timeout verifying RAM"},
        DownloadFailure{"WrongChecksum", Fault([](auto& F) { F.FailRam = true; }), true, "1", "Ram verify error"},
        DownloadFailure{"SilentWhileProgramming", SilentAfter(1), true, "3", "Communication Timeout writing EEPROM"},
        DownloadFailure{"ProgramError", Fault([](auto& F) { F.FailProgram = true; }), true, "2", "EEPROM Program Error"},
        DownloadFailure{"SilentWhileVerifying", SilentAfter(2), true, "3", "Communication Timeout verifying EEPROM"},
        DownloadFailure{"VerifyError", Fault([](auto& F) { F.FailVerify = true; }), true, "3", "EEPROM Verify Error"},
        // 100 polls answered with other bytes within the 5000 ms: the stage has not passed.
        DownloadFailure{"NoisyWhileProgramming", Fault([](auto& F) { F.NoiseWhileBusy = 2; }), false, "3",
                        "Communication Timeout writing EEPROM"},
        DownloadFailure{"LineClosedMidImage", Fault([](auto& F) { F.CloseAfterBytes = 328 + 22 + 1000; }), true, "1",
                        "Catastrophic Communication Error"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(Qkl, ReadBackWithoutAChipOrWithoutAnAnsweringReader) {
  sim::ChipSettings Settings;
  Settings.Faults.Absent = true;
  simtest::ThreadChip Absent(Settings);
  const e2e::QklRun NoChip = RunQklInProcess({"-d", Absent.SlavePath(), "-u", File("dump")});
  EXPECT_EQ(NoChip.ExitCode, 1);
  EXPECT_EQ(NoChip.Lines.back(), "Unable to locate Propeller on Port (" + Absent.SlavePath() + ")");
  // The boot loader takes the reader program, but nothing runs it, so the reader never answers.
  sim::ChipSettings NoEmulator = Instant();
  NoEmulator.RunImages = false;
  simtest::ThreadChip Chip(NoEmulator);
  const e2e::QklRun NoReader = RunQklInProcess({"-d", Chip.SlavePath(), "-u", File("dump")});
  EXPECT_EQ(NoReader.ExitCode, 2);
  EXPECT_EQ(NoReader.Lines.back(), "Unable to read Propeller on Port (" + Chip.SlavePath() + ")");
  EXPECT_FALSE(fs::exists(File("dump.eeprom")));
}

TEST_F(Qkl, FileListTestMarksEveryEntry) {
  simtest::ThreadChip Chip(Instant());
  std::vector<uint8_t> Bad = simtest::TinyImage(4);
  ++Bad[17];
  const std::string Good = Image("good.binary", simtest::TinyImage(4));
  const std::string List = File("list.txt");
  std::ofstream(List) << Good << "\n" << File("missing.binary") << "\n" << Image("bad.binary", Bad) << "\n\n" << Good;
  const e2e::QklRun Run = RunQklInProcess({"-d", Chip.SlavePath(), "-t", "-p", "3", List});
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Lines, AfterBanner({".b " + File("missing.binary"), "Bb ",
                                    ".Tested 5 Files with 3 Dud binaries, 0 Detection failures and 0 Load Errors"}));
  EXPECT_EQ(Chip.Log().CountOf("mode 1"), 2);  // -t loads into RAM whatever -p says
}

TEST_F(Qkl, FileListTestReadsStandardInputWithoutAFileName) {
  simtest::ThreadChip Chip(Instant());
  const std::string Good = Image("good.binary", simtest::TinyImage(4));
  const e2e::QklRun Run = RunQklInProcess({"-d", Chip.SlavePath(), "-t"}, Good + "\n");
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Lines,
            AfterBanner({NoFileName, ".Tested 1 Files with 0 Dud binaries, 0 Detection failures and 0 Load Errors"}));
}

}  // namespace
