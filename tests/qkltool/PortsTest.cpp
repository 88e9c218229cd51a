// qkl-tool's port listing and its choice of a port, on a fake sysfs whose Propeller adapter's
// device is the virtual chip's pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SysfsTree.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace std::chrono_literals;

// A machine with a Propeller adapter (its device the virtual chip), another USB adapter and an
// on-board port; the last two have no device behind them.
class FakeMachine {
public:
  explicit FakeMachine(bool WithBoard = true) {
    if (WithBoard) {
      Sysfs.AddUsbTerminal("ttyUSB9", {"0403", "6001", "FTDI", "FT232R USB UART", "A50285BI"});
      std::filesystem::create_directories(Sysfs.DeviceDir());
      std::filesystem::create_symlink(Chip.SlavePath(), Sysfs.DeviceDir() + "/ttyUSB9");
    }
    Sysfs.AddUsbTerminal("ttyUSB3", {"10c4", "ea60", "Silicon Labs", "CP2102", "0001"}, false,
                         "cp210x");
    Sysfs.AddTerminal("ttyS0", "pnp0/00:05", "serial");
    ::setenv("QKL_SYSFS_TTY", Sysfs.ClassTty().c_str(), 1);
    ::setenv("QKL_DEV_DIR", Sysfs.DeviceDir().c_str(), 1);
    ::unsetenv("QKL_PORT");
  }

  std::string Port(const char* Name) const { return Sysfs.DeviceDir() + "/" + Name; }

  simtest::TSysfsTree Sysfs;
  simtest::ProcessChip Chip{{"--instant"}};
};

simtest::ProgramResult RunTool(const std::vector<std::string>& Arguments) {
  return simtest::RunProgram(QKL_TOOL_PATH, Arguments, {}, 60s);
}

struct TListing {
  const char* Name;
  const char* Option;
  std::vector<std::string> Probed;  // the ports probed, by their names in the fake /dev
};

void PrintTo(const TListing& Case, std::ostream* Into) { *Into << Case.Name; }

class PortsJson : public ::testing::TestWithParam<TListing> {};

}  // namespace

// By default only the Propeller adapter is probed; --probe-all takes every port; --no-probe
// none, and the chip then sees no reset after its power-on.
TEST_P(PortsJson, ListsTheAdaptersAndTheChipOnTheProbedOnes) {
  const TListing& Case = GetParam();
  FakeMachine Machine;
  const simtest::ProgramResult Run = RunTool({"ports", "--json", Case.Option});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Errors;
  const nlohmann::json Ports = nlohmann::json::parse(Run.Output);
  ASSERT_EQ(Ports.size(), 3u) << Run.Output;
  EXPECT_EQ(Ports[0]["port"], Machine.Port("ttyS0"));
  EXPECT_EQ(Ports[0]["description"], "serial");
  EXPECT_TRUE(Ports[0]["usb"].is_null());
  EXPECT_EQ(Ports[1]["port"], Machine.Port("ttyUSB3"));
  EXPECT_EQ(Ports[1]["usb"]["vendor_id"], "10c4");
  EXPECT_EQ(Ports[2]["port"], Machine.Port("ttyUSB9"));
  EXPECT_EQ(Ports[2]["usb"], nlohmann::json({{"vendor_id", "0403"},
                                             {"product_id", "6001"},
                                             {"manufacturer", "FTDI"},
                                             {"product", "FT232R USB UART"},
                                             {"serial_number", "A50285BI"}}));
  for (const nlohmann::json& Port : Ports) {
    const std::string Name = Port["port"].get<std::string>();
    const bool Probed = std::find(Case.Probed.begin(), Case.Probed.end(),
                                  Name.substr(Name.rfind('/') + 1)) != Case.Probed.end();
    EXPECT_EQ(Port["probed"], Probed) << Name;
    const bool Chip = Probed && Name == Machine.Port("ttyUSB9");
    EXPECT_EQ(Port["version"], Chip ? nlohmann::json(1) : nlohmann::json(nullptr)) << Name;
    EXPECT_EQ(Port["error"].is_null(), !Probed || Chip) << Name;  // no device behind the others
  }
  const std::vector<std::string> Log = Machine.Chip.Log().Lines();
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "reset"), Case.Probed.empty() ? 1 : 2)
      << Machine.Chip.Log().Text();
}

INSTANTIATE_TEST_SUITE_P(
    Probes, PortsJson,
    ::testing::Values(TListing{"Adapters", "--probe", {"ttyUSB9"}},
                      TListing{"All", "--probe-all", {"ttyS0", "ttyUSB3", "ttyUSB9"}},
                      TListing{"None", "--no-probe", {}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(Ports, NoPortsIsAnEmptyArray) {
  const simtest::TempFolder Empty;
  ::setenv("QKL_SYSFS_TTY", Empty.Root().c_str(), 1);
  const simtest::ProgramResult Run = RunTool({"ports", "--json"});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Errors;
  EXPECT_EQ(nlohmann::json::parse(Run.Output), nlohmann::json::array());
}

// Without --port a load finds the single board and uses it, with the reset line and the trace
// asked for; without a board it stops with its own exit code and lists the ports.
TEST(Ports, ALoadWithoutAPortUsesTheSingleBoard) {
  FakeMachine Machine;
  const simtest::TempFolder Folder;
  const std::string Image = Folder.Write("image.binary", simtest::TinyImage(300));
  const std::string Trace = Folder.File("trace");
  const simtest::ProgramResult Run =
      RunTool({"load", "--reset", "rts", "--trace-file", Trace, Image});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Errors;
  EXPECT_NE(Run.Errors.find("found a chip on " + Machine.Port("ttyUSB9")), std::string::npos)
      << Run.Errors;
  EXPECT_NE(Machine.Chip.Log().WaitFor("mode 1", 5s), "") << Machine.Chip.Log().Text();
  std::ifstream TraceFile(Trace);
  std::stringstream Traced;
  Traced << TraceFile.rdbuf();
  EXPECT_NE(Traced.str().find(Machine.Port("ttyUSB9") + " +0.000 ms -- reset on rts"),
            std::string::npos)
      << Traced.str();
  EXPECT_NE(Traced.str().find(" tx f9 4a 25 d5"), std::string::npos);  // the handshake
}

TEST(Ports, WithoutABoardALoadStopsAndListsThePorts) {
  FakeMachine Machine(false);
  const simtest::TempFolder Folder;
  const std::string Image = Folder.Write("image.binary", simtest::TinyImage(300));
  const simtest::ProgramResult Run = RunTool({"load", Image});
  EXPECT_EQ(Run.ExitCode, 117);
  EXPECT_NE(Run.Errors.find("no single board found"), std::string::npos) << Run.Errors;
  EXPECT_NE(Run.Errors.find(Machine.Port("ttyUSB3")), std::string::npos) << Run.Errors;
}

namespace {

struct TUnnamedPort {
  const char* Name;
  bool WithBoard;
  std::vector<std::string> Command;  // IMAGE stands for a valid image
  int ExitCode;
  std::string Said;  // on standard output or error; PORT stands for the board's port
  long ChipResets;   // in the chip's log, its power-on included
};

void PrintTo(const TUnnamedPort& Case, std::ostream* Into) { *Into << Case.Name; }

class UnnamedPort : public ::testing::TestWithParam<TUnnamedPort> {};

}  // namespace

// load --all takes every board the probe finds (and stops with the list when there is none);
// term takes the single Propeller adapter that the listing shows, without a probe's reset.
TEST_P(UnnamedPort, TakesTheBoardsFoundOrStopsWithTheList) {
  const TUnnamedPort& Case = GetParam();
  FakeMachine Machine(Case.WithBoard);
  const simtest::TempFolder Folder;
  const std::string Image = Folder.Write("image.binary", simtest::TinyImage(300));
  std::vector<std::string> Arguments;
  for (const std::string& Each : Case.Command) Arguments.push_back(Each == "IMAGE" ? Image : Each);
  const simtest::ProgramResult Run = RunTool(Arguments);
  EXPECT_EQ(Run.ExitCode, Case.ExitCode) << Run.Errors;
  std::string Said = Case.Said;
  if (const auto At = Said.find("PORT"); At != std::string::npos)
    Said.replace(At, 4, Machine.Port("ttyUSB9"));
  EXPECT_NE((Run.Output + Run.Errors).find(Said), std::string::npos) << Run.Output << Run.Errors;
  if (Case.ExitCode == 117) {
    EXPECT_NE(Run.Errors.find(Machine.Port("ttyUSB3")), std::string::npos) << Run.Errors;
  }
  const std::vector<std::string> Log = Machine.Chip.Log().Lines();
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "reset"), Case.ChipResets)
      << Machine.Chip.Log().Text();
}

INSTANTIATE_TEST_SUITE_P(
    Choices, UnnamedPort,
    ::testing::Values(
        TUnnamedPort{"LoadAll", true, {"load", "--all", "IMAGE"}, 0, "PORT version 1 passed", 3},
        TUnnamedPort{
            "LoadAllNoBoard", false, {"load", "--all", "IMAGE"}, 117, "no single board found", 1},
        TUnnamedPort{"Term",
                     true,
                     {"term", "--timeout", "0.5"},
                     124,
                     "using the Propeller adapter on PORT",
                     1},
        TUnnamedPort{"TermNoAdapter", false, {"term"}, 117, "no Propeller adapters listed", 1}),
    [](const auto& Info) { return std::string(Info.param.Name); });
