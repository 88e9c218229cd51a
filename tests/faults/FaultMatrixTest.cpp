// Every flow of the built qkl against the faults of qkl-sim: message, exit code, time and files.
#include <algorithm>
#include <gtest/gtest.h>

#include "tests/faults/FaultRun.h"
#include "tests/support/EmulatorSpeed.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"

namespace {

using simtest::TimedRun;
using std::chrono::milliseconds;

enum class Flow { Detection, RamLoad, EepromWrite, FileListTest, ReadBack };

struct Case {
  std::string Name;
  Flow Run;
  std::vector<std::string> Fault;  // qkl-sim options
  int ExitCode;
  std::string LastLine;  // "PORT" stands for the chip's slave path
  bool WritesDump = false;
};

const std::string NoChip = simtest::NoFileName;
const std::string Silent = simtest::Banner().back();
using simtest::Found;
const std::string ListNotFound =
    "dTested 1 Files with 0 Dud binaries, 1 Detection failures and 0 Load Errors";
const std::string ListNotLoaded =
    "lTested 1 Files with 0 Dud binaries, 0 Detection failures and 1 Load Errors";
const std::string ListLoaded =
    ".Tested 1 Files with 0 Dud binaries, 0 Detection failures and 0 Load Errors";
const std::string NotLocated = "Unable to locate Propeller on Port (PORT)";
const std::string NotRead = "Unable to read Propeller on Port (PORT)";
const std::string RamTimeout = "Communication Timeout verifying RAM";

milliseconds BoundOf(Flow Run) {
  switch (Run) {
    case Flow::Detection: return faults::DetectionBound;
    case Flow::RamLoad:
    case Flow::FileListTest: return faults::RamLoadBound;
    case Flow::EepromWrite: return faults::EepromWriteBound;
    case Flow::ReadBack: return faults::ReadBackBound;
  }
  return {};
}

std::string WithPort(std::string Text, const std::string& Port) {
  const auto At = Text.find("PORT");
  if (At != std::string::npos) Text.replace(At, 4, Port);
  return Text;
}

class FaultMatrix : public testing::TestWithParam<Case> {
protected:
  simtest::TempFolder Folder;
  std::string Image = Folder.Write("image.binary", simtest::TinyImage(700));
  std::string List = Folder.Write("list.txt", std::vector<uint8_t>(Image.begin(), Image.end()));
  // An earlier read-back that a failed one must leave alone.
  std::string Dump = Folder.Write("dump.eeprom", std::vector<uint8_t>(32768, 0x5A));

  std::vector<std::string> Arguments(Flow Run, const std::string& Port) const {
    switch (Run) {
      case Flow::Detection: return {"-d", Port};
      case Flow::RamLoad: return {"-d", Port, "-p", "1", Image};
      case Flow::EepromWrite: return {"-d", Port, "-p", "3", Image};
      case Flow::FileListTest: return {"-d", Port, "-t", List};
      case Flow::ReadBack: return {"-d", Port, "-u", Folder.File("dump")};
    }
    return {};
  }
};

TEST_P(FaultMatrix, EndsSoundlyInTimeAndLeavesTheFiles) {
  const Case& Each = GetParam();
  if (Each.WritesDump && !simtest::EmulatorKeepsUpWithTheHost)
    GTEST_SKIP() << simtest::SlowEmulator;
  const faults::Snapshot Before = faults::FilesIn(Folder);
  simtest::ProcessChip Chip(Each.Fault);
  const milliseconds Bound = BoundOf(Each.Run);
  const TimedRun Result = faults::RunTimed(Arguments(Each.Run, Chip.SlavePath()), Bound);
  EXPECT_EQ(Result.Run.ExitCode, Each.ExitCode) << Result.Run.Output << Chip.Log().Text();
  ASSERT_FALSE(Result.Run.Lines.empty());
  EXPECT_EQ(Result.Run.Lines.back(), WithPort(Each.LastLine, Chip.SlavePath()))
      << Result.Run.Output;
  EXPECT_LT(Result.Took, Bound);
  faults::Snapshot After = faults::FilesIn(Folder);
  if (Each.WritesDump) {
    EXPECT_EQ(After["dump.eeprom"].size(), 32768u);
    EXPECT_NE(After["dump.eeprom"], Before.at("dump.eeprom"));
    After["dump.eeprom"] = Before.at("dump.eeprom");
  }
  EXPECT_TRUE(After == Before) << "a file was written or changed";
}

std::vector<std::string> Instant(std::vector<std::string> Fault) {
  Fault.insert(Fault.begin(), "--instant");
  return Fault;
}

// Faults the chip shows before or during the handshake: no flow gets past the detection.
std::vector<Case> HandshakeFaults() {
  const std::vector<std::pair<std::string, std::vector<std::string>>> Faults = {
      {"Echo", {"--echo"}},
      {"WrongBit17", {"--wrong-answer", "17"}},
      {"GarbageFromTheFirstAnswer", {"--garbage-from", "1"}},
      {"StopsAfter100Bytes", {"--stop-after-bytes", "100"}},
      {"ClosesAfter100Bytes", {"--close-after", "100"}},
      {"VersionZero", {"--version", "0"}}};
  std::vector<Case> Cases;
  for (const auto& [Name, Fault] : Faults) {
    Cases.push_back({Name + "Detection", Flow::Detection, Instant(Fault), 100, NoChip});
    Cases.push_back({Name + "RamLoad", Flow::RamLoad, Instant(Fault), 100, Silent});
    Cases.push_back({Name + "EepromWrite", Flow::EepromWrite, Instant(Fault), 100, Silent});
    Cases.push_back({Name + "FileListTest", Flow::FileListTest, Instant(Fault), 0, ListNotFound});
    Cases.push_back({Name + "ReadBack", Flow::ReadBack, Instant(Fault), 1, NotLocated});
  }
  Cases.push_back(
      {"AbsentFileListTest", Flow::FileListTest, Instant({"--absent"}), 0, ListNotFound});
  Cases.push_back({"AbsentReadBack", Flow::ReadBack, Instant({"--absent"}), 1, NotLocated});
  return Cases;
}

// Faults after a good handshake: the download's verdicts, the line, the reader program.
std::vector<Case> LaterFaults() {
  const std::vector<std::string> GarbageVerdicts = Instant({"--garbage-from", "259"});
  const std::vector<std::string> NoVerdictBytes = Instant({"--stop-after-bytes", "258"});
  const std::vector<std::string> ClosedMidImage = Instant({"--close-after", "2000"});
  const std::vector<std::string> NoVerdict = Instant({"--silent-after-verdict", "0"});
  // The RAM checksum takes 0.1 s; garbage answers use up the polls before it is ready.
  const std::vector<std::string> NoisyChecksum = {"--noise-while-busy", "1"};
  return {
      {"VersionBitInvertedIsReported", Flow::Detection, Instant({"--wrong-answer", "255"}), 0,
       "Propeller Version 17 Found!"},
      {"GarbageVerdictsDetection", Flow::Detection, GarbageVerdicts, 0, Found},
      {"GarbageVerdictsRamLoad", Flow::RamLoad, GarbageVerdicts, 1, RamTimeout},
      {"GarbageVerdictsEepromWrite", Flow::EepromWrite, GarbageVerdicts, 1, RamTimeout},
      {"GarbageVerdictsFileListTest", Flow::FileListTest, GarbageVerdicts, 0, ListNotLoaded},
      {"GarbageVerdictsReadBack", Flow::ReadBack, GarbageVerdicts, 2, NotRead},
      {"NoVerdictBytesRamLoad", Flow::RamLoad, NoVerdictBytes, 1, RamTimeout},
      {"NoVerdictBytesEepromWrite", Flow::EepromWrite, NoVerdictBytes, 1, RamTimeout},
      {"NoVerdictBytesFileListTest", Flow::FileListTest, NoVerdictBytes, 0, ListNotLoaded},
      {"NoVerdictBytesReadBack", Flow::ReadBack, NoVerdictBytes, 2, NotRead},
      {"ClosedMidImageEepromWrite", Flow::EepromWrite, ClosedMidImage, 1,
       "Catastrophic Communication Error"},
      {"ClosedMidImageFileListTest", Flow::FileListTest, ClosedMidImage, 0, ListNotLoaded},
      {"ClosedMidReaderReadBack", Flow::ReadBack, ClosedMidImage, 2, NotRead},
      {"NoVerdictFileListTest", Flow::FileListTest, NoVerdict, 0, ListNotLoaded},
      {"NoVerdictReadBack", Flow::ReadBack, NoVerdict, 2, NotRead},
      {"RamChecksumFailsFileListTest", Flow::FileListTest, Instant({"--fail-ram"}), 0,
       ListNotLoaded},
      {"RamChecksumFailsReadBack", Flow::ReadBack, Instant({"--fail-ram"}), 2, NotRead},
      {"NoisyChecksumFileListTest", Flow::FileListTest, NoisyChecksum, 0, ListNotLoaded},
      {"NoisyChecksumReadBack", Flow::ReadBack, NoisyChecksum, 2, NotRead},
      // The test mode and the read-back load RAM only: EEPROM verdicts never come into it.
      {"NoProgrammingVerdictFileListTest", Flow::FileListTest,
       Instant({"--silent-after-verdict", "1"}), 0, ListLoaded},
      {"NoProgrammingVerdictReadBack", Flow::ReadBack, Instant({"--silent-after-verdict", "1"}), 0,
       "All good!", true},
      {"NoEepromReadBack", Flow::ReadBack, Instant({"--no-eeprom"}), 2, NotRead},
      {"EepromDataLineLowReadBack", Flow::ReadBack, Instant({"--sda-low"}), 2, NotRead},
      {"ReaderStopsReadBack", Flow::ReadBack, Instant({"--program-stops-after", "100"}), 2,
       NotRead},
      {"ReaderCrcCorruptReadBack", Flow::ReadBack, Instant({"--corrupt-crc"}), 2, NotRead},
  };
}

std::string CaseName(const testing::TestParamInfo<Case>& Info) { return Info.param.Name; }

INSTANTIATE_TEST_SUITE_P(Handshake, FaultMatrix, testing::ValuesIn(HandshakeFaults()), CaseName);
INSTANTIATE_TEST_SUITE_P(AfterHandshake, FaultMatrix, testing::ValuesIn(LaterFaults()), CaseName);

}  // namespace
