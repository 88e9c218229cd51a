#include "sim/cog/Hub.h"

#include <algorithm>

#include "sim/cog/EmulationError.h"
#include "sim/cog/Instruction.h"
#include "sim/cog/RomImage.h"

namespace qkl::cog {

void Hub::LoadRom(const std::filesystem::path& directory) {
  const RomBytes rom = LoadRomImage(directory);
  std::copy(rom.begin(), rom.end(), memory_.begin() + kRomBase);
  hasRom_ = true;
}

// Aligns the address as the access size does; refuses what the chip cannot do.
uint32_t Hub::Checked(uint32_t address, uint32_t size, bool write) const {
  const uint32_t aligned = address & 0xFFFF & ~(size - 1);
  if (aligned >= kRomBase && write)
    throw EmulationError("write to ROM address " + Hex(aligned, 4) + ": the ROM cannot be written");
  if (aligned >= kRomBase && !hasRom_)
    throw EmulationError("read of ROM address " + Hex(aligned, 4) + ", but no ROM is loaded");
  return aligned;
}

uint8_t Hub::ReadByte(uint32_t address) const { return memory_[Checked(address, 1)]; }

uint16_t Hub::ReadWord(uint32_t address) const {
  const uint32_t a = Checked(address, 2);
  return static_cast<uint16_t>(memory_[a] | (memory_[a + 1] << 8));
}

uint32_t Hub::ReadLong(uint32_t address) const {
  const uint32_t a = Checked(address, 4);
  return uint32_t{memory_[a]} | (uint32_t{memory_[a + 1]} << 8) | (uint32_t{memory_[a + 2]} << 16) |
         (uint32_t{memory_[a + 3]} << 24);
}

void Hub::WriteByte(uint32_t address, uint8_t value) { memory_[Checked(address, 1, true)] = value; }

void Hub::WriteWord(uint32_t address, uint16_t value) {
  const uint32_t a = Checked(address, 2, true);
  memory_[a] = static_cast<uint8_t>(value);
  memory_[a + 1] = static_cast<uint8_t>(value >> 8);
}

void Hub::WriteLong(uint32_t address, uint32_t value) {
  const uint32_t a = Checked(address, 4, true);
  for (int i = 0; i < 4; ++i) memory_[a + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Hub::ReadLongForCogLoad(uint32_t address) const {
  const uint32_t value = ReadLong(address);
  return (address & 0xFFFF) >= kRomBase ? UnscrambleRomLong(value) : value;
}

Hub::LockOutcome Hub::LockNew() {
  for (uint32_t id = 0; id < kLocks; ++id) {
    if (!(locksTaken_ & (1u << id))) {
      locksTaken_ |= static_cast<uint8_t>(1u << id);
      return {id, false};
    }
  }
  return {7, true};
}

Hub::LockOutcome Hub::LockReturn(uint32_t id) {
  const bool allTaken = locksTaken_ == 0xFF;
  locksTaken_ &= static_cast<uint8_t>(~(1u << (id & 7)));
  return {id & 7, allTaken};
}

Hub::LockOutcome Hub::LockSet(uint32_t id, bool set) {
  const uint8_t bit = static_cast<uint8_t>(1u << (id & 7));
  const bool previous = locksSet_ & bit;
  locksSet_ = set ? (locksSet_ | bit) : (locksSet_ & ~bit);
  return {id & 7, previous};
}

void Hub::ResetLocks() {
  locksTaken_ = 0;
  locksSet_ = 0;
}

}  // namespace qkl::cog
