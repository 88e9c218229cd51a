// qkl-tool's terminal against the virtual chip running the example test program, which prints a
// line and ends with the bytes 0xFF 0x00 5: the exit code, the time-out, the output, and that no
// reset follows the load's verdict. And a production line's load on several ports at once.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>

#include "tests/support/ChipFixture.h"
#include "tests/support/RunProgram.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* Greeting = "Hello from the chip: this test program ends with status 5\r\n";

simtest::ProgramResult RunTool(const std::vector<std::string>& Arguments) {
  return simtest::RunProgram(QKL_TOOL_PATH, Arguments, {}, 60s);
}

// Whether the chip log has a reset after its last verdict.
bool ResetAfterVerdict(const std::string& Log) {
  std::istringstream Lines(Log.substr(std::min(Log.rfind("verdict"), Log.size())));
  for (std::string Line; std::getline(Lines, Line);)
    if (Line == "reset") return true;
  return false;
}

struct TSession {
  const char* Name;
  bool LoadFirst;                    // a plain load before the command, in its own run
  std::vector<std::string> Command;  // PORT and IMAGE stand for the chip's port and the image
  int ExitCode;
  std::string Output;
};

void PrintTo(const TSession& Session, std::ostream* Into) { *Into << Session.Name; }

class TerminalSession : public ::testing::TestWithParam<TSession> {};

TEST_P(TerminalSession, EndsWithTheProgramsStatusOrItsOwnCode) {
  const TSession& Case = GetParam();
  simtest::ProcessChip Chip({"--instant"});
  if (Case.LoadFirst) {
    const auto Load = RunTool({"load", "--port", Chip.SlavePath(), QKL_STATUS_IMAGE});
    ASSERT_EQ(Load.ExitCode, 0) << Load.Errors;
  }
  std::vector<std::string> Arguments;
  for (const std::string& Each : Case.Command)
    Arguments.push_back(Each == "PORT"    ? Chip.SlavePath()
                        : Each == "IMAGE" ? QKL_STATUS_IMAGE
                                          : Each);

  const simtest::ProgramResult Run = RunTool(Arguments);
  EXPECT_EQ(Run.ExitCode, Case.ExitCode) << Run.Errors << Chip.Log().Text();
  EXPECT_EQ(Run.Output, Case.Output);
  EXPECT_FALSE(ResetAfterVerdict(Chip.Log().Text())) << Chip.Log().Text();
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TerminalSession,
    ::testing::Values(
        TSession{"LoadStraightIntoTheTerminal",
                 false,
                 {"load", "--terminal", "--timeout", "30", "--port", "PORT", "IMAGE"},
                 5,
                 Greeting},
        TSession{
            "TermAfterALoad", true, {"term", "--timeout", "30", "--port", "PORT"}, 5, Greeting},
        TSession{"StatusPassedThroughAsData",
                 false,
                 {"load", "--terminal", "--no-status", "--timeout", "2", "--port", "PORT", "IMAGE"},
                 124,
                 std::string(Greeting) + std::string("\xFF\x00\x05", 3)},
        TSession{
            "SilentChipTimesOut", false, {"term", "--timeout", "1", "--port", "PORT"}, 124, ""}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// Two boards load side by side in about the time of one, each an EEPROM load with the chip's
// realistic programming time; a port without a chip fails alone, with its own line.
TEST(ProductionLoad, LoadsBoardsSideBySideAndASilentOneFailsAlone) {
  simtest::ProcessChip First({});
  simtest::ProcessChip Second({});
  simtest::ProcessChip Silent({"--instant", "--version", "0"});
  const auto Start = std::chrono::steady_clock::now();
  const simtest::ProgramResult Run =
      RunTool({"load", "--eeprom", "--port", First.SlavePath(), "--port", Silent.SlavePath(),
               "--port", Second.SlavePath(), QKL_STATUS_IMAGE});
  const double Wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();

  EXPECT_EQ(Run.ExitCode, 118) << Run.Errors;
  const std::regex Line(R"((\S+) version (\S+) (passed|failed) ([0-9.]+) s(: .*)?)");
  int Passed = 0;
  double Longest = 0;
  std::istringstream Lines(Run.Output);
  for (std::string Text; std::getline(Lines, Text);) {
    std::smatch Fields;
    ASSERT_TRUE(std::regex_match(Text, Fields, Line)) << Text;
    const bool Silence = Fields[1] == Silent.SlavePath();
    EXPECT_EQ(Fields[3], Silence ? "failed" : "passed") << Text;
    EXPECT_EQ(Fields[2], Silence ? "-" : "1") << Text;
    Passed += Silence ? 0 : 1;
    Longest = std::max(Longest, std::stod(Fields[4]));
  }
  EXPECT_EQ(Passed, 2) << Run.Output;
  EXPECT_NE(Run.Output.find(Silent.SlavePath() + " version - failed"), std::string::npos);
  // One after the other would take twice the longest.
  EXPECT_LT(Wall, Longest * 1.4) << Run.Output;
}

}  // namespace
