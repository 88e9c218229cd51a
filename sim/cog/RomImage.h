// The chip's 32 KB hub ROM ($8000-$FFFF) as stored in its two Intel HEX files.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

namespace qkl::cog {

constexpr uint32_t kRomBase = 0x8000;
constexpr uint32_t kRomSize = 0x8000;

using RomBytes = std::array<uint8_t, kRomSize>;

// Reads hub_rom_low.hex ($8000-$BFFF) and hub_rom_high.hex ($C000-$FFFF) from `directory`.
// Throws std::runtime_error naming the file and line on anything malformed or missing.
RomBytes LoadRomImage(const std::filesystem::path& directory);

// A cog load from ROM sees each long with its bits in another order than a hub read.
uint32_t UnscrambleRomLong(uint32_t stored);

}  // namespace qkl::cog
