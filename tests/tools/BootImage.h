#pragma once

#include <cstdint>
#include <vector>

#include "sim/cog/Chip.h"

namespace qkl::pasm::testing {

// Puts a program image in hub RAM as the boot loader leaves it after a RAM download (the rest of
// RAM zero, the stack markers below dbase) and launches it.
void bootImage(cog::Chip& chip, const std::vector<std::uint8_t>& image);

}  // namespace qkl::pasm::testing
