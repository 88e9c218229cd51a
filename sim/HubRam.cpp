#include "sim/HubRam.h"

#include <algorithm>
#include <numeric>

namespace sim {

namespace {

constexpr uint32_t StackMarker = 0xFFF9FFFF;
constexpr uint32_t DbaseAddress = 0x000A;

}  // namespace

void HubRam::StoreLongAt(uint32_t Address, uint32_t Value) {
  Address &= 0xFFFC;
  if (Address >= HubRamSize) return;
  for (int Byte = 0; Byte < 4; ++Byte)
    Ram[Address + Byte] = static_cast<uint8_t>(Value >> (8 * Byte));
}

void HubRam::StoreLong(uint32_t Index, uint32_t Value) { StoreLongAt(Index * 4, Value); }

void HubRam::FinishDownload(uint32_t LongCount) {
  if (LongCount < HubRamSize / 4) std::fill(Ram.begin() + std::size_t{LongCount} * 4, Ram.end(), 0);
  const uint32_t Dbase = Word(DbaseAddress);
  StoreLongAt(Dbase - 8, StackMarker);
  StoreLongAt(Dbase - 4, StackMarker);
}

uint8_t HubRam::ByteSum() const {
  return static_cast<uint8_t>(std::accumulate(Ram.begin(), Ram.end(), 0u));
}

uint16_t HubRam::Word(uint32_t Address) const {
  return static_cast<uint16_t>(Ram[Address] | (Ram[Address + 1] << 8));
}

}  // namespace sim
