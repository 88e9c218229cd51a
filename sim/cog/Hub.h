// Hub memory: 32 KB of RAM at $0000 shared by the cogs, the 32 KB ROM above it (when it is
// loaded), and the eight hardware locks.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>

namespace qkl::cog {

class Hub {
 public:
  static constexpr uint32_t kRamSize = 0x8000;
  static constexpr int kLocks = 8;

  // Loads the ROM image from its two hex files (see RomImage.h).
  void LoadRom(const std::filesystem::path& directory);
  bool HasRom() const { return hasRom_; }

  // Hub addresses are 16 bits; words and longs ignore the low address bits as the chip does.
  // Reads of $8000-$FFFF without a ROM, and any write there, throw EmulationError.
  uint8_t ReadByte(uint32_t address) const;
  uint16_t ReadWord(uint32_t address) const;
  uint32_t ReadLong(uint32_t address) const;
  void WriteByte(uint32_t address, uint8_t value);
  void WriteWord(uint32_t address, uint16_t value);
  void WriteLong(uint32_t address, uint32_t value);

  // The long a cog load sees: ROM longs come unscrambled.
  uint32_t ReadLongForCogLoad(uint32_t address) const;

  // Direct access to RAM for loaders and tests ($0000-$7FFF).
  std::span<uint8_t, kRamSize> Ram() {
    return std::span<uint8_t, kRamSize>(memory_.data(), kRamSize);
  }
  std::span<const uint8_t, kRamSize> Ram() const {
    return std::span<const uint8_t, kRamSize>(memory_.data(), kRamSize);
  }

  // Locks: checked out or free, and each one's set/clear state.
  struct LockOutcome {
    uint32_t id;
    bool c;
  };
  LockOutcome LockNew();
  LockOutcome LockReturn(uint32_t id);
  LockOutcome LockSet(uint32_t id, bool set);
  void ResetLocks();

 private:
  uint32_t Checked(uint32_t address, uint32_t size, bool write = false) const;

  std::array<uint8_t, 0x10000> memory_{};
  bool hasRom_ = false;
  uint8_t locksTaken_ = 0;
  uint8_t locksSet_ = 0;
};

}  // namespace qkl::cog
