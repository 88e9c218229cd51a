// The virtual chip on a real pseudo-terminal, in a thread and as qkl-sim: reset by the host's
// flush, the link rate from the host's settings, the line's faults, and the program's life.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"
#include "tests/support/HostPort.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempFolder.h"

namespace qkl::sim::testing {
namespace {

using namespace std::chrono_literals;

using simtest::HostPort;

std::string Handshake(HostPort& port) {
  std::this_thread::sleep_for(95ms);
  port.Write(simtest::HandshakePacket());
  return port.Read(258);
}

TEST(VirtualChip, HostFlushResetsTheChipAndTheHandshakeIsAnswered) {
  simtest::ThreadChip chip;
  HostPort port(chip.SlavePath(), B115200);
  ASSERT_TRUE(port.IsOpen());
  const std::vector<int> bits = simtest::ReplyBits(Handshake(port));
  ASSERT_EQ(bits.size(), 258u);
  EXPECT_EQ(std::vector<int>(bits.begin(), bits.begin() + 250),
            simtest::ShiftRegisterBits(251, 500));
  const std::vector<std::string> lines = chip.Log().Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "reset"), 2)
      << chip.Log().Text();  // power on, the host's flush
  EXPECT_NE(chip.Log().WaitFor("link rate 115200 baud", 1s), "");
  EXPECT_EQ(chip.LastExchange().bytes, simtest::HandshakePacket());
}

TEST(VirtualChip, LinkRateIsReadFromTheHostSettings) {
  simtest::ThreadChip chip;
  HostPort port(chip.SlavePath(), B230400);
  EXPECT_EQ(Handshake(port).size(), 258u);
  EXPECT_NE(chip.Log().WaitFor("link rate 230400 baud", 1s), "");
}

// The chip's thread held up just after the host's reset (a busy machine) finds the handshake that
// the host sent in time already waiting: the chip must not take it for a host that came late.
TEST(VirtualChip, HandshakeWaitingForAHeldUpChipIsInTime) {
  std::atomic<int> resets = 0;
  VirtualChip chip({}, [&](const std::string& line) {
    if (line == "reset" && ++resets == 2) std::this_thread::sleep_for(400ms);
  });
  std::thread server([&] { chip.Run(); });
  while (resets == 0) std::this_thread::sleep_for(1ms);
  {
    HostPort port(chip.SlavePath(), B115200);
    EXPECT_EQ(Handshake(port).size(), 258u);
  }
  chip.Stop();
  server.join();
}

struct OtherRate {
  speed_t code;
  const char* baud;
};

class OtherLinkRate : public ::testing::TestWithParam<OtherRate> {};

// The fast rates a second-stage loader uses too, which the line must carry.
TEST_P(OtherLinkRate, IsReadAndRefusedByTheBootLoader) {
  simtest::ThreadChip chip;
  HostPort port(chip.SlavePath(), GetParam().code);
  EXPECT_EQ(Handshake(port), "");
  EXPECT_NE(chip.Log().WaitFor(
                std::string("link rate ") + GetParam().baud + " is not 115200 or 230400", 1s),
            "");
}

INSTANTIATE_TEST_SUITE_P(VirtualChip, OtherLinkRate,
                         ::testing::Values(OtherRate{B9600, "9600"}, OtherRate{B921600, "921600"},
                                           OtherRate{B3000000, "3000000"}));

TEST(VirtualChip, HostWindowRunsOutWithoutBytes) {
  simtest::ThreadChip chip;
  HostPort port(chip.SlavePath(), B115200);
  EXPECT_NE(chip.Log().WaitFor("waiting for the host: boots from EEPROM", 5s), "");
}

TEST(VirtualChip, AbsentChipAnswersNothing) {
  ChipSettings settings;
  settings.faults.absent = true;
  simtest::ThreadChip chip(settings);
  HostPort port(chip.SlavePath(), B115200);
  EXPECT_EQ(Handshake(port), "");
}

TEST(VirtualChip, EchoingLineSendsTheHostBytesBack) {
  ChipSettings settings;
  settings.faults.echo = true;
  simtest::ThreadChip chip(settings);
  HostPort port(chip.SlavePath(), B115200);
  std::this_thread::sleep_for(95ms);
  const std::string packet = simtest::HandshakePacket();
  port.Write(packet);
  const std::string back = port.Read(packet.size() + 258);
  EXPECT_EQ(back.substr(0, packet.size()), packet);
  EXPECT_EQ(back.size(), packet.size() + 258u);
}

TEST(VirtualChip, ClosingItsSideHangsTheHostUp) {
  ChipSettings settings;
  settings.faults.closeAfterBytes = 10;
  simtest::ThreadChip chip(settings);
  HostPort port(chip.SlavePath(), B115200);
  port.Write(simtest::HandshakePacket());
  EXPECT_NE(chip.Log().WaitFor("closes after 10 host bytes", 2s), "");
  EXPECT_EQ(chip.LastExchange().bytes, simtest::HandshakePacket().substr(0, 10));
  EXPECT_EQ(port.Read(1), "");
}

TEST(VirtualChip, ExclusiveModeEndsWithTheHostsLastClose) {
  simtest::ThreadChip chip;
  { HostPort port(chip.SlavePath(), B115200); }
  bool released = false;
  for (int attempt = 0; attempt < 200 && !released; ++attempt) {
    const int fd = ::open(chip.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    int exclusive = 1;
    ::ioctl(fd, TIOCGEXCL, &exclusive);
    ::close(fd);
    released = exclusive == 0;
    if (!released) std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(released);
}

TEST(QklSim, ServesTheLineAndStopsCleanlyWithItsLink) {
  const simtest::TempFolder folder;
  const std::string link = folder.File("link");
  simtest::ProcessChip chip({"--link", link, "--version", "7"});
  EXPECT_EQ(std::filesystem::read_symlink(link), chip.SlavePath());
  {
    HostPort port(link, B115200);
    const std::vector<int> bits = simtest::ReplyBits(Handshake(port));
    ASSERT_EQ(bits.size(), 258u);
    EXPECT_EQ(std::vector<int>(bits.begin() + 250, bits.end()),
              (std::vector<int>{1, 1, 1, 0, 0, 0, 0, 0}));
  }
  EXPECT_NE(chip.Log().WaitFor("handshake answered, version 7", 2s), "");
  chip.Stop();
  EXPECT_TRUE(WIFEXITED(chip.ExitStatus()) && WEXITSTATUS(chip.ExitStatus()) == 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(QklSim, BadArgumentsAndFilesAreRefused) {
  const simtest::ProgramResult unknown = simtest::RunProgram(simtest::QklSimPath(), {"--bogus"});
  EXPECT_EQ(unknown.ExitCode, 1);
  EXPECT_NE(unknown.Errors.find("unknown option --bogus"), std::string::npos);
  const simtest::ProgramResult tooShort =
      simtest::RunProgram(simtest::QklSimPath(), {"--eeprom", "/dev/null"});
  EXPECT_EQ(tooShort.ExitCode, 2);
  EXPECT_NE(tooShort.Errors.find("is not 32768 bytes long"), std::string::npos);
  const simtest::ProgramResult help = simtest::RunProgram(simtest::QklSimPath(), {"--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Output.find("--silent-after-verdict N"), std::string::npos);
}

}  // namespace
}  // namespace qkl::sim::testing
