#include "sim/HubRam.h"

#include <algorithm>
#include <numeric>

namespace qkl::sim {

namespace {

constexpr uint32_t kStackMarker = 0xFFF9FFFF;
constexpr uint32_t kDbaseAddress = 0x000A;

}  // namespace

void HubRam::StoreLongAt(uint32_t address, uint32_t value) {
  address &= 0xFFFC;
  if (address >= kHubRamSize) return;
  for (int byte = 0; byte < 4; ++byte)
    ram_[address + byte] = static_cast<uint8_t>(value >> (8 * byte));
}

void HubRam::StoreLong(uint32_t index, uint32_t value) { StoreLongAt(index * 4, value); }

void HubRam::FinishDownload(uint32_t longCount) {
  if (longCount < kHubRamSize / 4)
    std::fill(ram_.begin() + std::size_t{longCount} * 4, ram_.end(), 0);
  const uint32_t dbase = Word(kDbaseAddress);
  StoreLongAt(dbase - 8, kStackMarker);
  StoreLongAt(dbase - 4, kStackMarker);
}

uint8_t HubRam::ByteSum() const {
  return static_cast<uint8_t>(std::accumulate(ram_.begin(), ram_.end(), 0u));
}

uint16_t HubRam::Word(uint32_t address) const {
  return static_cast<uint16_t>(ram_[address] | (ram_[address + 1] << 8));
}

}  // namespace qkl::sim
