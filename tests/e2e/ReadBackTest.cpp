// The built qkl reads the EEPROM back from a virtual chip that runs the reader program on its
// cog emulator: contents, checksums, and what the reader's failures look like to the user.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/e2e/ReadBackRoundTrip.h"
#include "tests/e2e/ReadBackRun.h"
#include "tests/support/EmulatorSpeed.h"
#include "tests/support/TempFolder.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

INSTANTIATE_TEST_SUITE_P(AtTwelveMegahertz, ReadBackRoundTrip,
                         ::testing::Values(ClockAndRate{12, false}, ClockAndRate{12, true}),
                         ClockAndRateName);
INSTANTIATE_TEST_SUITE_P(AtTwelveMegahertz, RomBoot,
                         ::testing::Values(ClockAndRate{12, false}, ClockAndRate{12, true}),
                         ClockAndRateName);

std::vector<std::string> LastLines(const QklRun& Run, std::size_t Count) {
  if (Run.Lines.size() < Count) return Run.Lines;
  return {Run.Lines.end() - static_cast<long>(Count), Run.Lines.end()};
}

std::string UnableToRead(const std::string& Port) {
  return "Unable to read Propeller on Port (" + Port + ")";
}

TEST(ReadBack, BlankAndAllZeroEepromsGiveTheirKnownChecksums) {
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  const simtest::TempFolder Folder;
  // The blank one through qkl-sim's command line: a missing EEPROM file is created blank.
  simtest::ProcessChip Blank({"--instant", "--eeprom", Folder.File("blank.eeprom")});
  const TimedRun FromBlank = ReadBack(Blank.SlavePath(), false, Folder.File("blank-dump"));
  EXPECT_EQ(FromBlank.Run.ExitCode, 0) << FromBlank.Run.Output << Blank.Log().Text();
  EXPECT_EQ(LastLines(FromBlank.Run, 3),
            (std::vector<std::string>{"CRC is good", "CRC is 00FF 00FF", "All good!"}));
  EXPECT_EQ(simtest::FileBytes(Folder.File("blank-dump.eeprom")),
            std::vector<uint8_t>(32768, 0xFF));

  simtest::WriteFile(Folder.File("zero.eeprom"), std::vector<uint8_t>(32768, 0));
  simtest::ThreadChip Zero(ChipWithEeprom(Folder.File("zero.eeprom")));
  const TimedRun FromZero = ReadBack(Zero.SlavePath(), true, Folder.File("zero-dump"));
  EXPECT_EQ(FromZero.Run.ExitCode, 0) << FromZero.Run.Output;
  EXPECT_EQ(LastLines(FromZero.Run, 3),
            (std::vector<std::string>{"CRC is good", "CRC is 40BF 40BF", "All good!"}));
  EXPECT_EQ(simtest::FileBytes(Folder.File("zero-dump.eeprom")), std::vector<uint8_t>(32768, 0));
}

TEST(ReadBack, ReaderThatFindsNoEepromNeverAnswersAndNothingIsWritten) {
  const simtest::TempFolder Folder;
  simtest::ProcessChip Chip({"--instant", "--no-eeprom"});
  const TimedRun Read = ReadBack(Chip.SlavePath(), false, Folder.File("dump"));
  EXPECT_EQ(Read.Run.ExitCode, 2) << Read.Run.Output << Chip.Log().Text();
  EXPECT_EQ(LastLines(Read.Run, 1), std::vector<std::string>{UnableToRead(Chip.SlavePath())});
  EXPECT_EQ(Read.Run.Output.find("Found sync"), std::string::npos);
  EXPECT_FALSE(fs::exists(Folder.File("dump.eeprom")));
}

struct ReaderFault {
  const char* Name;
  std::function<void(qkl::sim::ChipFaults&)> Set;
  std::vector<std::string> LinesBeforeTheVerdict;
  bool ReaderAnswers = true;  // the fault shows only after the reader has answered the handshake
};

void PrintTo(const ReaderFault& Fault, std::ostream* Into) { *Into << Fault.Name; }

class ReadBackFault : public ::testing::TestWithParam<ReaderFault> {};

TEST_P(ReadBackFault, EndsInExitTwoAndLeavesAnExistingFileAlone) {
  if (GetParam().ReaderAnswers && !simtest::EmulatorKeepsUpWithTheHost)
    GTEST_SKIP() << simtest::SlowEmulator;
  const simtest::TempFolder Folder;
  qkl::sim::ChipSettings Settings = ChipWithEeprom(Folder.File("chip.eeprom"));
  GetParam().Set(Settings.faults);
  simtest::ThreadChip Chip(Settings);
  const std::vector<uint8_t> Earlier(100, 0x42);
  simtest::WriteFile(Folder.File("dump.eeprom"), Earlier);
  const TimedRun Read = ReadBack(Chip.SlavePath(), false, Folder.File("dump"));
  EXPECT_EQ(Read.Run.ExitCode, 2) << Read.Run.Output << Chip.Log().Text();
  std::vector<std::string> Expected = GetParam().LinesBeforeTheVerdict;
  Expected.push_back(UnableToRead(Chip.SlavePath()));
  EXPECT_EQ(LastLines(Read.Run, Expected.size()), Expected) << Read.Run.Output;
  EXPECT_EQ(simtest::FileBytes(Folder.File("dump.eeprom")), Earlier);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReadBackFault,
    ::testing::Values(
        // Bus recovery cannot free the data line, so the reader gives up before the sync.
        ReaderFault{
            "DataLineHeldLow", [](qkl::sim::ChipFaults& F) { F.sdaHeldLow = true; }, {}, false},
        // The sync bit, 258 handshake bits, then 100 longs of 32 bits; "Aborted" ends the line
        // of progress dots, of which long 0 printed the first.
        ReaderFault{"ReaderStopsAtLongHundred",
                    [](qkl::sim::ChipFaults& F) { F.programStopsAfter = 1 + 258 + 32 * 100; },
                    {".Aborted"}},
        ReaderFault{"ChecksumArrivesCorrupted",
                    [](qkl::sim::ChipFaults& F) { F.corruptCrc = true; },
                    {"Read done", "CRC Mismatch", "CRC is 00FE 00FF"}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace e2e
