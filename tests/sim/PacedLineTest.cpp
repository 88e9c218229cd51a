// The paced line: ten bit times a byte in each direction (eleven with two stop bits), host bytes
// taken only as the line can carry them, the chip's bytes never before their time; and the virtual
// chip on it.
#include <gtest/gtest.h>

#include "sim/PacedLine.h"
#include "tests/support/HostPort.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"

namespace qkl::sim::testing {
namespace {

using namespace std::chrono_literals;

const TimePoint kStart = Clock::now();

TEST(PacedLine, HostBytesArriveOneByteTimeApartAfterTheLineIsFree) {
  PacedLine line(115200);
  ASSERT_EQ(std::chrono::duration_cast<std::chrono::nanoseconds>(line.ByteTime()).count(), 86805);
  line.SetBaud(3000000, 2);  // the fast loader's frames: eleven bit times
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::nanoseconds>(line.ByteTime()).count(), 3666);
  line.SetBaud(115200, 1);
  line.FromHost("ab", kStart);
  char byte = 0;
  TimePoint at;
  EXPECT_FALSE(line.HostByteArrived(kStart + line.ByteTime() - 1ns, byte, at));
  ASSERT_EQ(line.NextHostByteDone(), kStart + line.ByteTime());
  ASSERT_TRUE(line.HostByteArrived(kStart + 10ms, byte, at));
  EXPECT_EQ(byte, 'a');
  EXPECT_EQ(at, kStart + line.ByteTime());
  // Taken while "b" is still on the wire, "c" follows it; taken later, "d" starts when taken.
  line.FromHost("c", kStart + line.ByteTime());
  ASSERT_TRUE(line.HostByteArrived(kStart + 10ms, byte, at));
  ASSERT_TRUE(line.HostByteArrived(kStart + 10ms, byte, at));
  EXPECT_EQ(byte, 'c');
  EXPECT_EQ(at, kStart + 3 * line.ByteTime());
  line.FromHost("d", kStart + 20ms);
  EXPECT_EQ(line.NextHostByteDone(), kStart + 20ms + line.ByteTime());
}

TEST(PacedLine, TakesWhatAnAdaptersTransmitBufferHolds) {
  PacedLine line(230400);
  const std::size_t room = line.HostRoom(kStart);
  EXPECT_GE(room, 256u);   // enough to keep the line busy for ten milliseconds...
  EXPECT_LE(room, 1024u);  // ...not the host's whole write
  line.FromHost(std::string(room - 1, 'x'), kStart);
  EXPECT_EQ(line.HostRoom(kStart), 1u);
  line.FromHost("y", kStart);
  EXPECT_EQ(line.HostRoom(kStart), 0u);
  EXPECT_EQ(line.HostRoom(kStart + 10 * line.ByteTime()), 10u);
  EXPECT_EQ(line.HostRoom(kStart + (room + 5) * line.ByteTime()), room);
}

struct Latency {
  int timerMs;
  std::size_t packetBytes;  // of 70 sent together: the first hand-over's
  Duration packetAfter;     // from the start of the first byte
};

class AdapterLatency : public ::testing::TestWithParam<Latency> {};

// The adapter hands the chip's bytes over at the tick of its latency timer, or at once when they
// fill a USB packet (62 bytes after its two status bytes), never before their last bit is in.
TEST_P(AdapterLatency, ChipBytesReachTheHostAtTheTimersTickOrInAFullPacket) {
  const Latency& each = GetParam();
  const Duration timer = std::chrono::milliseconds(each.timerMs);
  const TimePoint tick(1000s);  // on the timer's grid
  PacedLine line(115200, timer);
  line.FromChip("xy", tick);
  line.FromChip("z", tick);  // sent at once, but it waits for "y"
  EXPECT_EQ(line.NextHandOver(), tick + timer);
  EXPECT_EQ(line.ReachedHost(tick + timer - 1ns), "");
  EXPECT_EQ(line.ReachedHost(tick + timer), "xyz");

  const TimePoint start = tick + 2 * timer;
  line.FromChip(std::string(70, 'p'), start);
  EXPECT_EQ(line.NextHandOver(), start + each.packetAfter);
  EXPECT_EQ(line.ReachedHost(start + each.packetAfter - 1ns), "");
  EXPECT_EQ(line.ReachedHost(start + each.packetAfter).size(), each.packetBytes);
  line.FromHost("h", start);
  line.Clear();
  EXPECT_EQ(line.NextHandOver(), std::nullopt);
  EXPECT_EQ(line.NextHostByteDone(), std::nullopt);
}

// 115200 baud: 86.8 us a byte, so 11 bytes in the first millisecond and 62 in 5.4 ms.
INSTANTIATE_TEST_SUITE_P(PacedLine, AdapterLatency,
                         ::testing::Values(Latency{1, 11, 1ms},
                                           Latency{16, 62, 62 * PacedLine(115200).ByteTime()}));

TEST(PacedLine, ARateThatCannotBeReadKeepsTheOneBefore) {
  PacedLine line(115200);
  line.SetBaud(0);
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::nanoseconds>(line.ByteTime()).count(), 86805);
}

// The handshake on a paced chip takes the line's time: the host's packet in, 258 answers back,
// the last of them one byte time after the last host byte.
TEST(PacedChip, TheHandshakeTakesTheLineTimeAndTheChipKeepsItsWorkingTimes) {
  ChipSettings settings;
  settings.paced = true;
  settings.instant = true;  // ignored on a paced line
  simtest::ThreadChip chip(settings);
  simtest::HostPort port(chip.SlavePath(), B115200);
  std::this_thread::sleep_for(95ms);
  const std::string packet = simtest::HandshakePacket();
  const auto sent = Clock::now();
  port.Write(packet);
  const std::string answers = port.Read(258, 2s);
  const auto took = Clock::now() - sent;
  EXPECT_EQ(answers.size(), 258u);
  EXPECT_GE(took, (packet.size() + 1) * PacedLine(115200).ByteTime());
  EXPECT_LT(took, 2s);  // it did not hang
  // An empty image: the RAM checksum verdict comes after the chip's 0.1 s of work, not at once.
  port.Write(simtest::LongBytes(1) + simtest::LongBytes(0));
  const auto downloaded = Clock::now();
  std::string verdict;
  for (int poll = 0; poll < 100 && verdict.empty(); ++poll) {
    port.Write("\xF9");
    verdict = port.Read(1, 10ms);
  }
  EXPECT_EQ(verdict, "\xFE") << chip.Log().Text();
  EXPECT_GE(Clock::now() - downloaded, 100ms);
}

}  // namespace
}  // namespace qkl::sim::testing
