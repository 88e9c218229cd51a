// The chip's view of the line: low pulses of host bytes, the bytes its answers make at the
// host, and its shift register.
#include <gtest/gtest.h>

#include <vector>

#include "sim/ChipLfsr.h"
#include "sim/LinePulses.h"
#include "tests/support/HostBits.h"

namespace qkl::sim::testing {
namespace {

std::vector<std::pair<int, int>> PulsesOf(uint8_t byte) {
  const BytePulses lows = LowPulsesOf(byte);
  std::vector<std::pair<int, int>> result;
  for (int index = 0; index < lows.count; ++index)
    result.emplace_back(lows.pulse[index].start, lows.pulse[index].width);
  return result;
}

// Protocol bits as the chip reads them: one bit time low is 1, two are 0, anything else -1.
std::vector<int> ChipBits(const std::vector<uint8_t>& bytes) {
  std::vector<int> bits;
  for (uint8_t byte : bytes)
    for (const auto& [start, width] : PulsesOf(byte))
      bits.push_back(width == 1 ? 1 : width == 2 ? 0 : -1);
  return bits;
}

TEST(LinePulses, CalibrationByteIsAShortThenALongPulse) {
  EXPECT_EQ(PulsesOf(0xF9), (std::vector<std::pair<int, int>>{{0, 1}, {2, 2}}));
}

TEST(LinePulses, ExtremeBytes) {
  EXPECT_EQ(PulsesOf(0xFF), (std::vector<std::pair<int, int>>{{0, 1}}));
  EXPECT_EQ(PulsesOf(0xFE), (std::vector<std::pair<int, int>>{{0, 2}}));
  EXPECT_EQ(PulsesOf(0x00), (std::vector<std::pair<int, int>>{{0, 9}}));
  EXPECT_EQ(PulsesOf(0x55),
            (std::vector<std::pair<int, int>>{{0, 1}, {2, 1}, {4, 1}, {6, 1}, {8, 1}}));
}

TEST(LinePulses, PackedStreamsDecodeToTheirBits) {
  EXPECT_EQ(ChipBits({0xA9, 0xF2}), (std::vector<int>{1, 0, 1, 1, 0, 0}));
  // The first eight bytes of the packed handshake bits carry the shift register's first bits.
  const std::vector<int> bits = ChipBits({0x4A, 0x25, 0xD5, 0x4A, 0xD5, 0x92, 0x95, 0x4A});
  EXPECT_EQ(bits, simtest::ShiftRegisterBits(1, static_cast<int>(bits.size())));
}

TEST(AnsweredByte, AnswersToAnF9ReachTheHostAsFEAndFF) {
  EXPECT_EQ(AnsweredByte(1, 2, 0), 0xFE);
  EXPECT_EQ(AnsweredByte(1, 2, 1), 0xFF);
}

TEST(AnsweredByte, OtherPulseShapesGiveOtherBytes) {
  // Host byte 0xFE: two bit times low, no second fall within the byte.
  EXPECT_EQ(AnsweredByte(2, 12, 1), 0xFE);
  // The transmit pin stays low into the stop bit: a framing error, delivered as 0x00.
  EXPECT_EQ(AnsweredByte(2, 12, 0), 0x00);
}

TEST(ChipLfsr, FirstSixteenBits) {
  EXPECT_EQ(simtest::ShiftRegisterBits(1, 16),
            (std::vector<int>{0, 1, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 1, 0, 1}));
}

TEST(ChipLfsr, AnswerBitsBeginAtBit251) {
  EXPECT_EQ(simtest::ShiftRegisterBits(251, 258), (std::vector<int>{0, 1, 0, 0, 0, 0, 1, 0}));
}

}  // namespace
}  // namespace qkl::sim::testing
