#include "sim/LinePulses.h"

namespace sim {

namespace {

constexpr int FrameBits = 10;
constexpr int StopBit = 9;

bool LineHigh(uint8_t Byte, int BitTime) {
  if (BitTime == 0) return false;
  if (BitTime == StopBit) return true;
  return (Byte >> (BitTime - 1)) & 1;
}

}  // namespace

BytePulses LowPulsesOf(uint8_t Byte) {
  BytePulses Result;
  int BitTime = 0;
  while (BitTime < FrameBits) {
    if (LineHigh(Byte, BitTime)) {
      ++BitTime;
      continue;
    }
    const int Start = BitTime;
    while (!LineHigh(Byte, BitTime)) ++BitTime;
    Result.Pulse[Result.Count++] = LowPulse{Start, BitTime - Start};
  }
  return Result;
}

uint8_t AnsweredByte(int LowWidth, long NextFall, int Bit) {
  auto TxLevel = [&](long BitTime) {
    return BitTime < LowWidth ? 0 : BitTime < NextFall ? Bit : 1;
  };
  if (TxLevel(StopBit) == 0) return 0x00;
  uint8_t Byte = 0;
  for (int Data = 0; Data < 8; ++Data) Byte |= static_cast<uint8_t>(TxLevel(1 + Data) << Data);
  return Byte;
}

}  // namespace sim
