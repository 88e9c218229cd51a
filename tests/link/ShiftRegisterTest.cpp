#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Crc16Modbus.h"
#include "link/ShiftRegister.h"

namespace {
// Outputs First to Last of the register started from its seed.
std::vector<uint8_t> Outputs(int First, int Last) {
  uint8_t State = LfsrSeed;
  std::vector<uint8_t> Bits;
  for (int Number = 1; Number <= Last; ++Number) {
    const uint8_t Bit = StepShiftRegister(State);
    if (Number >= First) Bits.push_back(Bit);
  }
  return Bits;
}
}  // namespace

TEST(ShiftRegister, FirstSixteenBitsFromTheSeed) {
  EXPECT_EQ(LfsrSeed, 0x50);
  EXPECT_EQ(Outputs(1, 16), (std::vector<uint8_t>{0, 1, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 1, 0, 1}));
}

TEST(ShiftRegister, ChipAnswerStartsWithBits251To258) {
  EXPECT_EQ(Outputs(251, 258), (std::vector<uint8_t>{0, 1, 0, 0, 0, 0, 1, 0}));
}

TEST(Crc16Modbus, StandardCheckValue) {
  uint16_t Crc = Crc16ModbusInitial;
  for (const char Byte : std::string("123456789"))
    Crc = Crc16ModbusUpdate(Crc, static_cast<uint8_t>(Byte));
  EXPECT_EQ(Crc, 0x4B37);
}
