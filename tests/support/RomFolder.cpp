#include "tests/support/RomFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace simtest {

std::string RomFolder() {
  const std::filesystem::path Folder = QKL_ROM_DIR;
  const bool Complete = std::filesystem::exists(Folder / "hub_rom_low.hex") &&
                        std::filesystem::exists(Folder / "hub_rom_high.hex");
  return Complete ? Folder.string() : std::string();
}

std::string WhyNoRom() {
  if (!RomFolder().empty()) return {};
  const std::string Why = std::string("the chip's ROM is not in ") + QKL_ROM_DIR + " (QKL_ROM_DIR)";
  if (QKL_REQUIRE_ROM) ADD_FAILURE() << Why << ", and this build requires it (QKL_REQUIRE_ROM)";
  return Why;
}

}  // namespace simtest
