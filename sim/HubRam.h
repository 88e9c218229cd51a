// The chip's 32 KB of hub RAM as the boot loader fills it from a serial download.
#pragma once

#include <array>
#include <cstdint>

namespace sim {

constexpr std::size_t HubRamSize = 32768;
using HubBytes = std::array<uint8_t, HubRamSize>;

class HubRam {
public:
  // Long Index of the download lands at byte address 4 x Index; hub addresses are 16 bits wide
  // and writes at 0x8000 and above reach ROM, which ignores them.
  void StoreLong(uint32_t Index, uint32_t Value);
  // What the loader does after the last long: zero the rest of RAM, put the two stack marker
  // longs below dbase, and sum every byte.
  void FinishDownload(uint32_t LongCount);
  uint8_t ByteSum() const;
  uint16_t Word(uint32_t Address) const;
  const HubBytes& Bytes() const { return Ram; }
  void Assign(const HubBytes& Contents) { Ram = Contents; }

private:
  void StoreLongAt(uint32_t Address, uint32_t Value);
  HubBytes Ram{};
};

}  // namespace sim
