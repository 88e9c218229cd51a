// qkl-tool against the virtual chip: what its commands leave in the chip's EEPROM and in the file
// read back, and the exit code, reason and hint of each kind of bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <regex>

#include "tests/support/ChipFixture.h"
#include "tests/support/EmulatorSpeed.h"
#include "tests/support/HostBits.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace std::chrono_literals;

// An EEPROM the chip holds before the run, unlike anything the runs write.
std::vector<uint8_t> EarlierEeprom() {
  std::mt19937 Random(21);
  std::vector<uint8_t> Bytes(32768);
  for (uint8_t& Byte : Bytes) Byte = static_cast<uint8_t>(Random());
  return Bytes;
}

simtest::ProgramResult RunTool(const std::vector<std::string>& Arguments) {
  return simtest::RunProgram(QKL_TOOL_PATH, Arguments, {}, 60s);
}

struct TChipRun {
  const char* Name;
  std::vector<std::string> Command;  // the command and its options, before --port and the file
  const char* ModeLogged;            // the boot loader's command the chip logs; none for a read
  bool WritesEeprom;
};

void PrintTo(const TChipRun& Run, std::ostream* Into) { *Into << Run.Name; }

class ToolWithChip : public ::testing::TestWithParam<TChipRun> {};

TEST_P(ToolWithChip, LeavesTheEepromAndTheFileAsAsked) {
  const TChipRun& Case = GetParam();
  // The read-back's chip side runs on the emulator, which must keep up with the host.
  if (!Case.ModeLogged && !simtest::EmulatorKeepsUpWithTheHost)
    GTEST_SKIP() << simtest::SlowEmulator;
  const simtest::TempFolder Folder;
  const std::vector<uint8_t> Earlier = EarlierEeprom();
  const std::string Eeprom = Folder.Write("chip.eeprom", Earlier);
  simtest::ProcessChip Chip({"--instant", "--eeprom", Eeprom});
  const std::vector<uint8_t> Image = simtest::TinyImage(300);
  // The read-back goes to exactly the file named, extension or none.
  const std::string File =
      Case.ModeLogged ? Folder.Write("image.binary", Image) : Folder.File("read back");
  std::vector<std::string> Arguments = Case.Command;
  Arguments.insert(Arguments.end(), {"--port", Chip.SlavePath(), File});

  const simtest::ProgramResult Run = RunTool(Arguments);
  EXPECT_EQ(Run.ExitCode, 0) << Run.Errors << Chip.Log().Text();
  EXPECT_EQ(Run.Output, "");  // standard output is for data
  const std::vector<uint8_t> After = simtest::FileBytes(Eeprom);
  if (!Case.ModeLogged) {
    EXPECT_EQ(simtest::FileBytes(File), Earlier);
    return;
  }
  EXPECT_NE(Chip.Log().WaitFor(Case.ModeLogged, 5s), "") << Chip.Log().Text();
  ASSERT_EQ(After.size(), Earlier.size());
  if (Case.WritesEeprom)
    EXPECT_TRUE(std::equal(Image.begin(), Image.end(), After.begin()));
  else
    EXPECT_EQ(After, Earlier);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ToolWithChip,
    ::testing::Values(
        TChipRun{"LoadRam", {"load"}, "mode 1", false},
        TChipRun{"LoadEeprom", {"load", "--eeprom"}, "mode 3", true},
        TChipRun{"LoadEepromAndShutDown", {"load", "--eeprom", "--shutdown"}, "mode 2", true},
        TChipRun{"Read", {"read"}, nullptr, false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// The fast loader's path on the paced line: a 32 KB image into the EEPROM at the rate the RC
// clock allows, and the read-back of 64 KB, whose upper half a 24LC256 gives as its lower.
TEST(ToolFast, WritesABigImageAtSpeedAndReadsSixtyFourKilobytesBack) {
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  const simtest::TempFolder Folder;
  const std::string Eeprom = Folder.Write("chip.eeprom", EarlierEeprom());
  simtest::ProcessChip Chip({"--paced", "--eeprom", Eeprom});
  const std::vector<uint8_t> Image = simtest::TinyImage(8180);
  const std::string File = Folder.Write("image.binary", Image);
  const simtest::ProgramResult Load =
      RunTool({"load", "--eeprom", "--shutdown", "--port", Chip.SlavePath(), File});
  EXPECT_EQ(Load.ExitCode, 0) << Load.Errors;
  // The highest rate of the 12 MHz RC clock, or the step below it where a busy machine kept the
  // emulated chip from meeting the rate check in real time: either way the fast path, not the
  // classic load's 115200.
  EXPECT_TRUE(std::regex_search(Load.Errors, std::regex(" at (460800|230400) baud in ")))
      << Load.Errors;
  std::vector<uint8_t> Expected = Image;
  Expected.resize(32768, 0);
  for (std::size_t At = Image.size(); At < Image.size() + 8; ++At)
    Expected[At] = (At % 4 == 2) ? 0xF9 : 0xFF;  // the stack markers below dbase
  EXPECT_TRUE(simtest::FileBytes(Eeprom) == Expected);

  const std::string Read = Folder.File("read back");
  const simtest::ProgramResult Back =
      RunTool({"read", "--size", "64K", "--port", Chip.SlavePath(), Read});
  EXPECT_EQ(Back.ExitCode, 0) << Back.Errors;
  std::vector<uint8_t> Twice = Expected;
  Twice.insert(Twice.end(), Expected.begin(), Expected.end());
  EXPECT_TRUE(simtest::FileBytes(Read) == Twice);
}

// Arguments name the chip's port as PORT and files in the test's folder by their names.
struct TBadInput {
  const char* Name;
  std::vector<std::string> Arguments;
  int ExitCode;
  const char* Reason;
  std::vector<std::string> ChipOptions = {"--instant"};
};

void PrintTo(const TBadInput& Input, std::ostream* Into) { *Into << Input.Name; }

class ToolBadInput : public ::testing::TestWithParam<TBadInput> {};

TEST_P(ToolBadInput, EndsWithItsExitCodeAReasonAndAHint) {
  const TBadInput& Case = GetParam();
  const simtest::TempFolder Folder;
  Folder.Write("image.binary", simtest::TinyImage(20));
  simtest::ProcessChip Chip(Case.ChipOptions);
  // A machine without serial ports, whatever this one has: a probe finds no board.
  ::setenv("QKL_SYSFS_TTY", Folder.Root().c_str(), 1);
  ::unsetenv("QKL_PORT");
  std::vector<std::string> Arguments;
  for (const std::string& Each : Case.Arguments) {
    if (Each == "PORT")
      Arguments.push_back(Chip.SlavePath());
    else
      Arguments.push_back(Each.find('.') == std::string::npos ? Each : Folder.File(Each));
  }

  const simtest::ProgramResult Run = RunTool(Arguments);
  EXPECT_EQ(Run.ExitCode, Case.ExitCode) << Run.Errors;
  EXPECT_NE(Run.Errors.find(Case.Reason), std::string::npos) << Run.Errors;
  EXPECT_NE(Run.Errors.find("\nqkl-tool: hint: "), std::string::npos) << Run.Errors;
  EXPECT_EQ(Run.Output, "");
  EXPECT_FALSE(std::filesystem::exists(Folder.File("out.eeprom")));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ToolBadInput,
    ::testing::Values(
        TBadInput{
            "UnknownOption", {"load", "--port", "PORT", "--fast", "image.binary"}, 110, "--fast"},
        TBadInput{"NoPort", {"read", "out.eeprom"}, 117, "no single board found"},
        TBadInput{"NoCommand", {"--port", "PORT"}, 110, "subcommand"},
        TBadInput{"LargeEepromWithoutFastLoader",
                  {"read", "--port", "PORT", "--classic", "--size", "64K", "out.eeprom"},
                  110,
                  "needs the fast loader"},
        TBadInput{"MissingImage", {"load", "--port", "PORT", "missing.binary"}, 111, "cannot read"},
        TBadInput{"PortThatDoesNotExist",
                  {"read", "--port", "/dev/qkl-none", "out.eeprom"},
                  112,
                  "cannot open port /dev/qkl-none"},
        TBadInput{"NoChip",
                  {"read", "--port", "PORT", "out.eeprom"},
                  113,
                  "no chip answered on",
                  {"--instant", "--version", "0"}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
