#include "tests/e2e/LoaderUnderTest.h"

#include <filesystem>

namespace e2e {

const char* const RomDirectory = "/work/shared/p1-rom";

std::string LoaderName(LoaderKind Kind) { return Kind == LoaderKind::Rom ? "Rom" : "Model"; }

std::string SkipReason(LoaderKind Kind) {
  if (Kind == LoaderKind::Model) return {};
  if (!EmulatorKeepsUpWithTheHost()) return SlowEmulator;
  if (!std::filesystem::exists(std::filesystem::path(RomDirectory) / "hub_rom_low.hex"))
    return std::string("the chip's ROM is not in ") + RomDirectory + "; nothing here can run without it";
  return {};
}

sim::ChipSettings LoaderChip(LoaderKind Kind, const std::string& EepromPath, double ClockMhz) {
  sim::ChipSettings Chip = ChipWithEeprom(EepromPath, ClockMhz);
  if (Kind == LoaderKind::Rom) Chip.RomDirectory = RomDirectory;
  return Chip;
}

}  // namespace e2e
