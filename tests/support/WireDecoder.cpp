#include "tests/support/WireDecoder.h"

namespace simtest {

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

// Byte by byte: no pulse crosses a stop bit, so each byte decodes on its own.
DecodedDownload DecodeDownload(const std::string& Wire, std::size_t HandshakeBytes) {
  DecodedDownload Result;
  uint32_t Long = 0;
  int Bits = 0;
  std::size_t Longs = 0;  // mode and count included
  for (std::size_t At = HandshakeBytes; At < Wire.size(); ++At) {
    const TDecodedLine Byte = DecodeLine(Wire.substr(At, 1));
    if (!Byte.Fault.empty()) return Result;
    for (std::size_t Index = 0; Index < Byte.Bits.size(); ++Index) {
      Long |= static_cast<uint32_t>(Byte.Bits[Index]) << Bits;
      if (++Bits < 32) continue;
      if (Longs == 0)
        Result.Mode = Long;
      else if (Longs == 1)
        Result.Count = Long;
      else
        Result.Longs.push_back(Long);
      ++Longs;
      Bits = 0;
      Long = 0;
      if (Longs >= 2 && Result.Longs.size() == Result.Count) {
        Result.Complete = Index + 1 == Byte.Bits.size();
        Result.After = Wire.substr(At + 1);
        return Result;
      }
    }
  }
  return Result;
}

std::vector<uint32_t> LongsOf(const std::vector<uint8_t>& Image) {
  std::vector<uint32_t> Longs;
  for (std::size_t At = 0; At + 3 < Image.size(); At += 4)
    Longs.push_back(Image[At] | Image[At + 1] << 8 | Image[At + 2] << 16 |
                    static_cast<uint32_t>(Image[At + 3]) << 24);
  return Longs;
}

}  // namespace simtest
