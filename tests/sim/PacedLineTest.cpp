// The paced line: ten bit times a byte in each direction, host bytes taken only as the line can
// carry them, the chip's bytes never before their time; and the virtual chip on it.
#include <gtest/gtest.h>

#include "sim/PacedLine.h"
#include "tests/support/HostPort.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"

namespace {

using namespace std::chrono_literals;

const sim::TimePoint Start = sim::Clock::now();

TEST(PacedLine, HostBytesArriveOneByteTimeApartAfterTheLineIsFree) {
  sim::PacedLine Line(115200);
  ASSERT_EQ(std::chrono::duration_cast<std::chrono::nanoseconds>(Line.ByteTime()).count(), 86805);
  Line.FromHost("ab", Start);
  char Byte = 0;
  sim::TimePoint At;
  EXPECT_FALSE(Line.HostByteArrived(Start + Line.ByteTime() - 1ns, Byte, At));
  ASSERT_EQ(Line.NextByteDone(), Start + Line.ByteTime());
  ASSERT_TRUE(Line.HostByteArrived(Start + 10ms, Byte, At));
  EXPECT_EQ(Byte, 'a');
  EXPECT_EQ(At, Start + Line.ByteTime());
  // Taken while "b" is still on the wire, "c" follows it; taken later, "d" starts when taken.
  Line.FromHost("c", Start + Line.ByteTime());
  ASSERT_TRUE(Line.HostByteArrived(Start + 10ms, Byte, At));
  ASSERT_TRUE(Line.HostByteArrived(Start + 10ms, Byte, At));
  EXPECT_EQ(Byte, 'c');
  EXPECT_EQ(At, Start + 3 * Line.ByteTime());
  Line.FromHost("d", Start + 20ms);
  EXPECT_EQ(Line.NextByteDone(), Start + 20ms + Line.ByteTime());
}

TEST(PacedLine, TakesWhatAnAdaptersTransmitBufferHolds) {
  sim::PacedLine Line(230400);
  const std::size_t Room = Line.HostRoom(Start);
  EXPECT_GE(Room, 256u);   // enough to keep the line busy for ten milliseconds...
  EXPECT_LE(Room, 1024u);  // ...not the host's whole write
  Line.FromHost(std::string(Room - 1, 'x'), Start);
  EXPECT_EQ(Line.HostRoom(Start), 1u);
  Line.FromHost("y", Start);
  EXPECT_EQ(Line.HostRoom(Start), 0u);
  EXPECT_EQ(Line.HostRoom(Start + 10 * Line.ByteTime()), 10u);
  EXPECT_EQ(Line.HostRoom(Start + (Room + 5) * Line.ByteTime()), Room);
}

TEST(PacedLine, ChipBytesReachTheHostOnePerByteTimeNeverEarly) {
  sim::PacedLine Line(115200);
  Line.FromChip("xy", Start);
  EXPECT_EQ(Line.ReachedHost(Start + Line.ByteTime() - 1ns), "");
  EXPECT_EQ(Line.ReachedHost(Start + Line.ByteTime()), "x");
  Line.FromChip("z", Start);  // sent at once, but it waits for "y"
  EXPECT_EQ(Line.ReachedHost(Start + 2 * Line.ByteTime()), "y");
  EXPECT_EQ(Line.ReachedHost(Start + 3 * Line.ByteTime()), "z");
  Line.FromHost("h", Start);
  Line.FromChip("w", Start);
  Line.Clear();
  EXPECT_EQ(Line.NextByteDone(), std::nullopt);
  Line.SetBaud(0);  // not a standard rate: the rate before it stays
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::nanoseconds>(Line.ByteTime()).count(), 86805);
}

// The handshake on a paced chip takes the line's time: the host's packet in, 258 answers back,
// the last of them one byte time after the last host byte.
TEST(PacedChip, TheHandshakeTakesTheLineTimeAndTheChipKeepsItsWorkingTimes) {
  sim::ChipSettings Settings;
  Settings.Paced = true;
  Settings.Instant = true;  // ignored on a paced line
  simtest::ThreadChip Chip(Settings);
  simtest::HostPort Port(Chip.SlavePath(), B115200);
  std::this_thread::sleep_for(95ms);
  const std::string Packet = simtest::HandshakePacket();
  const auto Sent = sim::Clock::now();
  Port.Write(Packet);
  const std::string Answers = Port.Read(258, 2s);
  const auto Took = sim::Clock::now() - Sent;
  EXPECT_EQ(Answers.size(), 258u);
  EXPECT_GE(Took, (Packet.size() + 1) * sim::PacedLine(115200).ByteTime());
  EXPECT_LT(Took, 2s);  // it did not hang
  // An empty image: the RAM checksum verdict comes after the chip's 0.1 s of work, not at once.
  Port.Write(simtest::LongBytes(1) + simtest::LongBytes(0));
  const auto Downloaded = sim::Clock::now();
  std::string Verdict;
  for (int Poll = 0; Poll < 100 && Verdict.empty(); ++Poll) {
    Port.Write("\xF9");
    Verdict = Port.Read(1, 10ms);
  }
  EXPECT_EQ(Verdict, "\xFE") << Chip.Log().Text();
  EXPECT_GE(sim::Clock::now() - Downloaded, 100ms);
}

}  // namespace
