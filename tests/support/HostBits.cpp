#include "tests/support/HostBits.h"

#include <numeric>

#include "sim/ChipLfsr.h"

namespace simtest {

std::string BitBytes(const std::vector<int>& Bits) {
  std::string Bytes;
  for (int Bit : Bits) Bytes += static_cast<char>(Bit ? 0xFF : 0xFE);
  return Bytes;
}

std::string LongBytes(uint32_t Value) {
  std::vector<int> Bits;
  for (int Index = 0; Index < 32; ++Index) Bits.push_back((Value >> Index) & 1);
  return BitBytes(Bits);
}

std::vector<int> ShiftRegisterBits(int First, int Last) {
  qkl::sim::ChipLfsr Register;
  std::vector<int> Bits;
  for (int Index = 1; Index <= Last; ++Index) {
    const int Bit = Register.Next();
    if (Index >= First) Bits.push_back(Bit);
  }
  return Bits;
}

std::string HandshakePacketFor(const std::vector<int>& Bits) {
  // Appended piece by piece: "\xF9" + a temporary string makes GCC 12 at -O2 and above warn
  // of an overlapping copy (-Wrestrict) inside std::string.
  std::string Packet(1, '\xF9');
  Packet += BitBytes(Bits);
  Packet.append(258, '\xF9');
  return Packet;
}

std::string HandshakePacket() { return HandshakePacketFor(ShiftRegisterBits(1, 250)); }

std::vector<int> ReplyBits(const std::string& Replies) {
  std::vector<int> Bits;
  for (unsigned char Byte : Replies) Bits.push_back((Byte & 0xFE) == 0xFE ? Byte & 1 : -1);
  return Bits;
}

std::vector<uint8_t> TinyImage(int BodyLongs) {
  const int Vbase = 16 + 4 * BodyLongs;
  const int Dbase = Vbase + 8;
  std::vector<uint8_t> Image(Vbase, 0);
  auto Put16 = [&](int At, int Value) {
    Image[At] = static_cast<uint8_t>(Value);
    Image[At + 1] = static_cast<uint8_t>(Value >> 8);
  };
  const uint32_t ClockFrequency = 12000000;
  for (int Byte = 0; Byte < 4; ++Byte)
    Image[Byte] = static_cast<uint8_t>(ClockFrequency >> (8 * Byte));
  Put16(6, 0x0010);
  Put16(8, Vbase);
  Put16(10, Dbase);
  Put16(12, 0x0010);
  Put16(14, Dbase + 4);
  for (int Byte = 16; Byte < Vbase; ++Byte) Image[Byte] = static_cast<uint8_t>(Byte * 7 + 3);
  // The loader adds the two stack marker longs FF FF F9 FF, 2028 in all.
  const unsigned Sum = std::accumulate(Image.begin(), Image.end(), 0u) + 2028;
  Image[5] = static_cast<uint8_t>(-Sum);
  return Image;
}

std::vector<uint8_t> WithBadChecksum(std::vector<uint8_t> Image) {
  ++Image[5];
  return Image;
}

}  // namespace simtest
