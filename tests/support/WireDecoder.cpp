#include "tests/support/WireDecoder.h"

#include "sim/LinePulses.h"

namespace simtest {

DecodedDownload DecodeDownload(const std::string& Wire, std::size_t HandshakeBytes) {
  DecodedDownload Result;
  uint32_t Long = 0;
  int Bits = 0;
  std::size_t Longs = 0;  // mode and count included
  for (std::size_t At = HandshakeBytes; At < Wire.size(); ++At) {
    const qkl::sim::BytePulses Lows = qkl::sim::LowPulsesOf(static_cast<uint8_t>(Wire[At]));
    for (int Index = 0; Index < Lows.count; ++Index) {
      const int Width = Lows.pulse[Index].width;
      if (Width != 1 && Width != 2) return Result;
      Long |= static_cast<uint32_t>(Width == 1) << Bits;
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
        Result.Complete = Index + 1 == Lows.count;
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
