#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/Assembler.h"

namespace qkl::pasm::testing {

// The cog longs of an assembled source; fails the test when the source has errors.
std::vector<std::uint32_t> cogLongs(const std::string& source);

// The one long a single instruction or data line assembles to (inside "DAT org 0").
std::uint32_t encode(const std::string& line);

// The errors of a source that must not assemble, as "line:column: message" texts.
std::vector<std::string> errorsOf(const std::string& source);

}  // namespace qkl::pasm::testing
