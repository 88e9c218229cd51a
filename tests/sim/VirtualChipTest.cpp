// The virtual chip on a real pseudo-terminal, in a thread and as qkl-sim: reset by the host's
// flush, the link rate from the host's settings, the line's faults, and the program's life.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"
#include "tests/support/HostPort.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace std::chrono_literals;

using simtest::HostPort;

std::string Handshake(HostPort& Port) {
  std::this_thread::sleep_for(95ms);
  Port.Write(simtest::HandshakePacket());
  return Port.Read(258);
}

TEST(VirtualChip, HostFlushResetsTheChipAndTheHandshakeIsAnswered) {
  simtest::ThreadChip Chip;
  HostPort Port(Chip.SlavePath(), B115200);
  ASSERT_TRUE(Port.IsOpen());
  const std::vector<int> Bits = simtest::ReplyBits(Handshake(Port));
  ASSERT_EQ(Bits.size(), 258u);
  EXPECT_EQ(std::vector<int>(Bits.begin(), Bits.begin() + 250),
            simtest::ShiftRegisterBits(251, 500));
  const std::vector<std::string> Lines = Chip.Log().Lines();
  EXPECT_EQ(std::count(Lines.begin(), Lines.end(), "reset"), 2)
      << Chip.Log().Text();  // power on, the host's flush
  EXPECT_NE(Chip.Log().WaitFor("link rate 115200 baud", 1s), "");
  EXPECT_EQ(Chip.LastExchange().Bytes, simtest::HandshakePacket());
}

TEST(VirtualChip, LinkRateIsReadFromTheHostSettings) {
  simtest::ThreadChip Chip;
  HostPort Port(Chip.SlavePath(), B230400);
  EXPECT_EQ(Handshake(Port).size(), 258u);
  EXPECT_NE(Chip.Log().WaitFor("link rate 230400 baud", 1s), "");
}

TEST(VirtualChip, UnsupportedLinkRateIsReported) {
  simtest::ThreadChip Chip;
  HostPort Port(Chip.SlavePath(), B9600);
  EXPECT_EQ(Handshake(Port), "");
  EXPECT_NE(Chip.Log().WaitFor("link rate 9600 is not 115200 or 230400", 1s), "");
}

TEST(VirtualChip, HostWindowRunsOutWithoutBytes) {
  simtest::ThreadChip Chip;
  HostPort Port(Chip.SlavePath(), B115200);
  EXPECT_NE(Chip.Log().WaitFor("waiting for the host: boots from EEPROM", 5s), "");
}

TEST(VirtualChip, AbsentChipAnswersNothing) {
  sim::ChipSettings Settings;
  Settings.Faults.Absent = true;
  simtest::ThreadChip Chip(Settings);
  HostPort Port(Chip.SlavePath(), B115200);
  EXPECT_EQ(Handshake(Port), "");
}

TEST(VirtualChip, EchoingLineSendsTheHostBytesBack) {
  sim::ChipSettings Settings;
  Settings.Faults.Echo = true;
  simtest::ThreadChip Chip(Settings);
  HostPort Port(Chip.SlavePath(), B115200);
  std::this_thread::sleep_for(95ms);
  const std::string Packet = simtest::HandshakePacket();
  Port.Write(Packet);
  const std::string Back = Port.Read(Packet.size() + 258);
  EXPECT_EQ(Back.substr(0, Packet.size()), Packet);
  EXPECT_EQ(Back.size(), Packet.size() + 258u);
}

TEST(VirtualChip, ClosingItsSideHangsTheHostUp) {
  sim::ChipSettings Settings;
  Settings.Faults.CloseAfterBytes = 10;
  simtest::ThreadChip Chip(Settings);
  HostPort Port(Chip.SlavePath(), B115200);
  Port.Write(simtest::HandshakePacket());
  EXPECT_NE(Chip.Log().WaitFor("closes after 10 host bytes", 2s), "");
  EXPECT_EQ(Chip.LastExchange().Bytes, simtest::HandshakePacket().substr(0, 10));
  EXPECT_EQ(Port.Read(1), "");
}

TEST(VirtualChip, ExclusiveModeEndsWithTheHostsLastClose) {
  simtest::ThreadChip Chip;
  { HostPort Port(Chip.SlavePath(), B115200); }
  bool Released = false;
  for (int Try = 0; Try < 200 && !Released; ++Try) {
    const int Fd = ::open(Chip.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(Fd, 0);
    int Exclusive = 1;
    ::ioctl(Fd, TIOCGEXCL, &Exclusive);
    ::close(Fd);
    Released = Exclusive == 0;
    if (!Released) std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(Released);
}

TEST(QklSim, ServesTheLineAndStopsCleanlyWithItsLink) {
  const simtest::TempFolder Folder;
  const std::string Link = Folder.File("link");
  simtest::ProcessChip Chip({"--link", Link, "--version", "7"});
  EXPECT_EQ(std::filesystem::read_symlink(Link), Chip.SlavePath());
  {
    HostPort Port(Link, B115200);
    const std::vector<int> Bits = simtest::ReplyBits(Handshake(Port));
    ASSERT_EQ(Bits.size(), 258u);
    EXPECT_EQ(std::vector<int>(Bits.begin() + 250, Bits.end()),
              (std::vector<int>{1, 1, 1, 0, 0, 0, 0, 0}));
  }
  EXPECT_NE(Chip.Log().WaitFor("handshake answered, version 7", 2s), "");
  Chip.Stop();
  EXPECT_TRUE(WIFEXITED(Chip.ExitStatus()) && WEXITSTATUS(Chip.ExitStatus()) == 0);
  EXPECT_FALSE(std::filesystem::is_symlink(Link));
}

TEST(QklSim, BadArgumentsAndFilesAreRefused) {
  const simtest::ProgramResult Unknown = simtest::RunProgram(simtest::QklSimPath(), {"--bogus"});
  EXPECT_EQ(Unknown.ExitCode, 1);
  EXPECT_NE(Unknown.Errors.find("unknown option --bogus"), std::string::npos);
  const simtest::ProgramResult Short =
      simtest::RunProgram(simtest::QklSimPath(), {"--eeprom", "/dev/null"});
  EXPECT_EQ(Short.ExitCode, 2);
  EXPECT_NE(Short.Errors.find("is not 32768 bytes long"), std::string::npos);
  const simtest::ProgramResult Help = simtest::RunProgram(simtest::QklSimPath(), {"--help"});
  EXPECT_EQ(Help.ExitCode, 0);
  EXPECT_NE(Help.Output.find("--silent-after-verdict N"), std::string::npos);
}

}  // namespace
