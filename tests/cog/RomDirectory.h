// Where the tests find the chip's ROM files: $QKL_ROM_DIR, else the shared folder next to
// the checkout. Empty when neither holds them (tests then skip and say so).
#pragma once

#include <cstdlib>
#include <filesystem>

namespace qkl::cog::testing {

inline std::filesystem::path RomDirectory() {
  const char* variable = std::getenv("QKL_ROM_DIR");
  const std::filesystem::path directory = variable ? variable : QKL_DEFAULT_ROM_DIR;
  return std::filesystem::exists(directory / "hub_rom_high.hex") ? directory : std::filesystem::path();
}

}  // namespace qkl::cog::testing
