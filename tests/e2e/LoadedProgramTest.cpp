// A RAM load (mode 1) with the built qkl, after which the loaded program runs: the test opens the
// port itself, as a terminal program would after the load, and talks to the program on its pins.
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "AnswerProgramImage.h"
#include "TalkerProgramImage.h"
#include "tests/e2e/LoaderUnderTest.h"
#include "tests/support/HostPort.h"
#include "tests/support/EmulatorSpeed.h"
#include "tests/support/TempFolder.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

class LoadedProgram : public ::testing::TestWithParam<std::tuple<LoaderKind, ClockAndRate>> {
protected:
  void SetUp() override {
    if (const std::string Why = SkipReason(std::get<0>(GetParam())); !Why.empty())
      GTEST_SKIP() << Why;
    if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  }
  const ClockAndRate& Combination() const { return std::get<1>(GetParam()); }
  bool FastLink() const { return Combination().FastLink; }
  simtest::TempFolder Folder;
};

TEST_P(LoadedProgram, AnswersOnItsPinsAfterARamLoad) {
  simtest::ThreadChip Chip(
      LoaderChip(std::get<0>(GetParam()), Folder.File("chip.eeprom"), Combination().ClockMhz));
  const std::string Image = Folder.File("answer.binary");
  simtest::WriteFile(
      Image, std::vector<uint8_t>(std::begin(AnswerProgramImage), std::end(AnswerProgramImage)));
  std::vector<std::string> Arguments = RateArguments(FastLink());
  Arguments.insert(Arguments.end(), {"-d", Chip.SlavePath(), "-p", "1", Image});
  const QklRun Load =
      UntilFound(Combination(), [&] { return simtest::RunQklTimed(Arguments); }).Run;
  ASSERT_EQ(Load.ExitCode, 0) << Load.Output << Chip.Log().Text();
  // qkl flushes the port as it closes it; taken after the open below, that flush would be a reset.
  ASSERT_NE(Chip.Log().WaitForAfter("program starts", "flushes the port's queues: no reset", 1s),
            "")
      << Chip.Log().Text();

  // Opened without discarding its queues: a purge right after an open is the chip's reset.
  simtest::HostPort Port(Chip.SlavePath(), FastLink() ? B230400 : B115200,
                         simtest::HostPort::Opening::Plain);
  ASSERT_TRUE(Port.IsOpen());
  // The program starts some tens of milliseconds after the verdict (the ROM lets the clock
  // settle, then the interpreter starts the cog): a byte sent before then finds no listener.
  std::string First;
  for (int Attempt = 0; Attempt < 10 && First.empty(); ++Attempt) {
    Port.Write("\xFF");
    First = Port.Read(4, 200ms);
  }
  EXPECT_EQ(First, "QKL!") << Chip.Log().Text();
  Port.Write("\xFF");
  EXPECT_EQ(Port.Read(4, 2s), "QKL!") << "the program listens again";
}

INSTANTIATE_TEST_SUITE_P(
    BothLoaders, LoadedProgram,
    ::testing::Combine(::testing::Values(LoaderKind::Rom, LoaderKind::Model),
                       ::testing::Values(ClockAndRate{8, false}, ClockAndRate{8, true},
                                         ClockAndRate{12, false}, ClockAndRate{12, true},
                                         ClockAndRate{20, false}, ClockAndRate{20, true})),
    [](const auto& Info) {
      return LoaderName(std::get<0>(Info.param)) + "At" +
             ClockAndRateName({std::get<1>(Info.param), Info.index});
    });

// A terminal that opens the port after the load and only sets its rate, sending nothing, hears
// the program at that rate from then on, as with a real adapter.
TEST(ListeningTerminal, HearsTheProgramAtTheRateItSetWithoutSendingAByte) {
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  const simtest::TempFolder Folder;
  simtest::ThreadChip Chip(LoaderChip(LoaderKind::Model, Folder.File("chip.eeprom"), 12));
  const std::string Image = Folder.File("talker.binary");
  simtest::WriteFile(
      Image, std::vector<uint8_t>(std::begin(TalkerProgramImage), std::end(TalkerProgramImage)));
  const QklRun Load = RunQkl({"-d", Chip.SlavePath(), "-p", "1", Image});
  ASSERT_EQ(Load.ExitCode, 0) << Load.Output << Chip.Log().Text();
  ASSERT_NE(Chip.Log().WaitForAfter("program starts", "flushes the port's queues: no reset", 1s),
            "")
      << Chip.Log().Text();

  simtest::HostPort Port(Chip.SlavePath(), B9600, simtest::HostPort::Opening::Plain);
  ASSERT_TRUE(Port.IsOpen());
  // The first bytes may have left before the rate was set; those after it are whole.
  const std::string Heard = Port.Read(40, 1s);
  EXPECT_NE(Heard.find("960096009600"), std::string::npos) << ::testing::PrintToString(Heard);
}

}  // namespace
}  // namespace e2e
