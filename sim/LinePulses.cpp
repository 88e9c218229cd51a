#include "sim/LinePulses.h"

namespace qkl::sim {

namespace {

constexpr int kFrameBits = 10;
constexpr int kStopBit = 9;

bool LineHigh(uint8_t byte, int bitTime) {
  if (bitTime == 0) return false;
  if (bitTime == kStopBit) return true;
  return (byte >> (bitTime - 1)) & 1;
}

}  // namespace

BytePulses LowPulsesOf(uint8_t byte) {
  BytePulses result;
  int bitTime = 0;
  while (bitTime < kFrameBits) {
    if (LineHigh(byte, bitTime)) {
      ++bitTime;
      continue;
    }
    const int start = bitTime;
    while (!LineHigh(byte, bitTime)) ++bitTime;
    result.pulse[result.count++] = LowPulse{start, bitTime - start};
  }
  return result;
}

uint8_t AnsweredByte(int lowWidth, long nextFall, int bit) {
  auto txLevel = [&](long bitTime) {
    return bitTime < lowWidth ? 0 : bitTime < nextFall ? bit : 1;
  };
  if (txLevel(kStopBit) == 0) return 0x00;
  uint8_t byte = 0;
  for (int data = 0; data < 8; ++data) byte |= static_cast<uint8_t>(txLevel(1 + data) << data);
  return byte;
}

}  // namespace qkl::sim
