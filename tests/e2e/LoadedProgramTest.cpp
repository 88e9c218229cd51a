// A RAM load (mode 1) with the built qkl, after which the loaded program runs: the test opens the
// port itself, as a terminal program would after the load, and talks to the program on its pins.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "AnswerProgramImage.h"
#include "tests/e2e/LoaderUnderTest.h"
#include "tests/support/WireDecoder.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

// The port opened and set raw at the rate, without discarding its queues: a purge right after an
// open is the chip's reset.
class PlainPort {
public:
  PlainPort(const std::string& Path, speed_t Rate) : Fd(::open(Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    termios Settings{};
    if (Fd < 0 || ::tcgetattr(Fd, &Settings) != 0) return;
    ::cfmakeraw(&Settings);
    ::cfsetspeed(&Settings, Rate);
    Configured = ::tcsetattr(Fd, TCSANOW, &Settings) == 0;
  }
  ~PlainPort() {
    if (Fd >= 0) ::close(Fd);
  }
  PlainPort(const PlainPort&) = delete;
  PlainPort& operator=(const PlainPort&) = delete;
  bool Usable() const { return Configured; }

  // Writes Bytes, then reads until Length bytes came or Timeout passed.
  std::string Exchange(const std::string& Bytes, std::size_t Length, std::chrono::milliseconds Timeout) const {
    if (::write(Fd, Bytes.data(), Bytes.size()) != static_cast<ssize_t>(Bytes.size())) return "(write failed)";
    const auto Deadline = std::chrono::steady_clock::now() + Timeout;
    std::string Got;
    while (Got.size() < Length) {
      const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
      pollfd Watched{Fd, POLLIN, 0};
      if (Left.count() <= 0 || ::poll(&Watched, 1, static_cast<int>(Left.count())) <= 0) break;
      char Buffer[64];
      const ssize_t Read = ::read(Fd, Buffer, sizeof Buffer);
      if (Read <= 0) break;
      Got.append(Buffer, static_cast<std::size_t>(Read));
    }
    return Got;
  }

private:
  int Fd;
  bool Configured = false;
};

class LoadedProgram : public ::testing::TestWithParam<std::tuple<LoaderKind, ClockAndRate>> {
protected:
  void SetUp() override {
    if (const std::string Why = SkipReason(std::get<0>(GetParam())); !Why.empty()) GTEST_SKIP() << Why;
    if (!EmulatorKeepsUpWithTheHost()) GTEST_SKIP() << SlowEmulator;
  }
  const ClockAndRate& Combination() const { return std::get<1>(GetParam()); }
  bool FastLink() const { return Combination().FastLink; }
  ScratchFolder Folder;
};

TEST_P(LoadedProgram, AnswersOnItsPinsAfterARamLoad) {
  simtest::ThreadChip Chip(LoaderChip(std::get<0>(GetParam()), Folder.File("chip.eeprom"), Combination().ClockMhz));
  const std::string Image = Folder.File("answer.binary");
  simtest::WriteFile(Image, std::vector<uint8_t>(std::begin(AnswerProgramImage), std::end(AnswerProgramImage)));
  std::vector<std::string> Arguments = RateArguments(FastLink());
  Arguments.insert(Arguments.end(), {"-d", Chip.SlavePath(), "-p", "1", Image});
  const QklRun Load = UntilFound(Combination(), [&] { return RunQkl(Arguments); }).Run;
  ASSERT_EQ(Load.ExitCode, 0) << Load.Output << Chip.Log().Text();

  const PlainPort Port(Chip.SlavePath(), FastLink() ? B230400 : B115200);
  ASSERT_TRUE(Port.Usable());
  // The program starts some tens of milliseconds after the verdict (the ROM lets the clock
  // settle, then the interpreter starts the cog): a byte sent before then finds no listener.
  std::string First;
  for (int Attempt = 0; Attempt < 10 && First.empty(); ++Attempt) First = Port.Exchange("\xFF", 4, 200ms);
  EXPECT_EQ(First, "QKL!") << Chip.Log().Text();
  EXPECT_EQ(Port.Exchange("\xFF", 4, 2s), "QKL!") << "the program listens again";
}

INSTANTIATE_TEST_SUITE_P(BothLoaders, LoadedProgram,
                         ::testing::Combine(::testing::Values(LoaderKind::Rom, LoaderKind::Model),
                                            ::testing::Values(ClockAndRate{8, false}, ClockAndRate{8, true},
                                                              ClockAndRate{12, false}, ClockAndRate{12, true},
                                                              ClockAndRate{20, false}, ClockAndRate{20, true})),
                         [](const auto& Info) {
                           return LoaderName(std::get<0>(Info.param)) + "At" +
                                  ClockAndRateName({std::get<1>(Info.param), Info.index});
                         });

}  // namespace
}  // namespace e2e
