// The chip's 32 KB of hub RAM as the boot loader fills it from a serial download.
#pragma once

#include <array>
#include <cstdint>

namespace qkl::sim {

constexpr std::size_t kHubRamSize = 32768;
using HubBytes = std::array<uint8_t, kHubRamSize>;

class HubRam {
 public:
  // Long `index` of the download lands at byte address 4 x `index`; hub addresses are 16 bits wide
  // and writes at 0x8000 and above reach ROM, which ignores them.
  void StoreLong(uint32_t index, uint32_t value);
  // What the loader does after the last long: zero the rest of RAM, put the two stack marker
  // longs below dbase, and sum every byte.
  void FinishDownload(uint32_t longCount);
  uint8_t ByteSum() const;
  uint16_t Word(uint32_t address) const;
  const HubBytes& Bytes() const { return ram_; }
  void Assign(const HubBytes& contents) { ram_ = contents; }

 private:
  void StoreLongAt(uint32_t address, uint32_t value);
  HubBytes ram_{};
};

}  // namespace qkl::sim
