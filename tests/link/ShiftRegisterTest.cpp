#include <gtest/gtest.h>

#include <iostream>
#include <vector>

#include "link/Crc16Modbus.h"
#include "link/Propeller.h"

namespace {
std::vector<uint8_t> Outputs(TPropeller& Link, int First, int Last) {
  std::vector<uint8_t> Bits;
  for (int Number = 1; Number <= Last; ++Number) {
    const uint8_t Bit = Link.NextLfsrBit();
    if (Number >= First) Bits.push_back(Bit);
  }
  return Bits;
}
}  // namespace

TEST(ShiftRegister, FirstSixteenBitsFromTheSeed) {
  TPropeller Link{std::cout};
  Link.SeedLfsr();
  EXPECT_EQ(Link.Lfsr, 0x50);
  EXPECT_EQ(Outputs(Link, 1, 16),
            (std::vector<uint8_t>{0, 1, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 1, 0, 1}));
}

TEST(ShiftRegister, ChipAnswerStartsWithBits251To258) {
  TPropeller Link{std::cout};
  Link.SeedLfsr();
  EXPECT_EQ(Outputs(Link, 251, 258), (std::vector<uint8_t>{0, 1, 0, 0, 0, 0, 1, 0}));
}

TEST(Crc16Modbus, StandardCheckValue) {
  uint16_t Crc = Crc16ModbusInitial;
  for (const char Byte : std::string("123456789"))
    Crc = Crc16ModbusUpdate(Crc, static_cast<uint8_t>(Byte));
  EXPECT_EQ(Crc, 0x4B37);
}
