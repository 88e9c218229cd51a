#include "LineDecoder.h"

namespace {
// One serial byte as ten bit times of line level, true meaning high.
std::vector<bool> LineLevels(uint8_t Byte) {
  std::vector<bool> Levels{false};
  for (int Bit = 0; Bit < 8; ++Bit) Levels.push_back(((Byte >> Bit) & 1) != 0);
  Levels.push_back(true);
  return Levels;
}
}  // namespace

TDecodedLine DecodeLine(const std::string& Bytes) {
  TDecodedLine Line;
  int LowRun = 0;
  std::size_t SlotNumber = 0;
  for (const char Byte : Bytes) {
    for (const bool High : LineLevels(static_cast<uint8_t>(Byte))) {
      ++SlotNumber;
      if (!High) {
        ++LowRun;
        continue;
      }
      if (LowRun == 1 || LowRun == 2) Line.Bits.push_back(LowRun == 1 ? 1 : 0);
      if (LowRun > 2 && Line.Fault.empty()) {
        Line.Fault = "low pulse of " + std::to_string(LowRun) + " bit times ending at slot " +
                     std::to_string(SlotNumber);
      }
      LowRun = 0;
    }
  }
  return Line;
}
