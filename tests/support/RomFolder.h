// The folder of the chip's ROM files (QKL_ROM_DIR at configure time), for the tests that boot
// the chip's own firmware on the cog emulator.
#pragma once

#include <string>

namespace simtest {

// The folder when it holds both ROM files; empty otherwise.
std::string RomFolder();

// Why the ROM tests cannot run here; empty when RomFolder() holds the files. A build configured
// with QKL_REQUIRE_ROM also fails the calling test, so that the skip which follows cannot
// leave a run green that lost its ROM.
std::string WhyNoRom();

}  // namespace simtest
