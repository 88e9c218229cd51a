// Any 32768-byte buffer (the input, zero-filled behind) through the image check, then the longs
// the input covers through the download's stream encoder at both speeds; the line must decode,
// on the chip's terms, to the same bits. The zero tail would encode the same way every time.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <vector>

#include "FuzzFailure.h"
#include "tests/support/WireDecoder.h"
#include "link/Propeller.h"
#include "link/StreamEncoder.h"

namespace {
// The download flushes a little after this many bytes; flushing keeps frames whole.
constexpr int32_t ChunkBytes = 512;

void CheckEncoding(const TPropeller& Link, std::size_t Longs, bool HighSpeed) {
  TStreamEncoder Encoder;
  Encoder.Reset();
  std::string Line;
  std::vector<uint8_t> Expected;
  for (std::size_t Index = 0; Index < Longs; ++Index) {
    const uint32_t Value = Link.ImageLong(Index);
    Encoder.EncodeLong(Value, HighSpeed);
    for (int Bit = 0; Bit < 32; ++Bit) Expected.push_back((Value >> Bit) & 1);
    if (Encoder.ByteCount() > ChunkBytes) Line += Encoder.Flush();
  }
  Line += Encoder.Flush();
  const simtest::TDecodedLine Decoded = simtest::DecodeLine(Line);
  Require(Decoded.Fault.empty(), "every pulse has a valid width");
  Require(Decoded.Bits == Expected, "the line carries the image's bits");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TPropeller Link{std::cout};
  // The bytes from the start of the image, zeros behind them.
  for (std::size_t Index = 0; Index < ImageLongs; ++Index) {
    uint32_t Value = 0;
    for (std::size_t Byte = 0; Byte < 4 && Index * 4 + Byte < Size; ++Byte)
      Value |= static_cast<uint32_t>(Data[Index * 4 + Byte]) << (8 * Byte);
    Link.SetImageLong(Index, Value);
  }
  const bool Valid = Link.ChecksumValid();
  Require(Valid == Link.ImageValid(), "the verdict is kept");
  if (Valid) Require(Link.LongCount() <= ImageLongs, "an accepted image fits the buffer");
  const std::size_t Longs = (std::min(Size, ImageSize) + 3) / 4;
  CheckEncoding(Link, Longs, false);
  CheckEncoding(Link, Longs, true);
  return 0;
}
