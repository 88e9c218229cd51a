#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/Diagnostic.h"

namespace qkl::pasm {

struct Assembly {
  std::vector<std::uint8_t> cogCode;   // the DAT bytes as the cog loads them, cog address 0 first
  std::uint32_t clkfreq = 12'000'000;  // from the constant _clkfreq when the source defines it
  std::uint8_t clkmode = 0x00;     // from the constant _clkmode (the clock register value); RCFAST
  std::vector<Diagnostic> errors;  // empty when the assembly succeeded; line 0 is the whole file
};

// Assembles a source file: CON blocks of named constants and DAT blocks of cog code.
Assembly assemble(const std::string& source);

}  // namespace qkl::pasm
