#pragma once

#include <cstdint>
#include <vector>

namespace qkl::pasm {

struct ClockSettings {
  std::uint32_t clkfreq;
  std::uint8_t clkmode;
};

// Wraps cog code in a program image the chip's boot loader runs: the 16-byte header, an object with
// one method, the cog code as its DAT area at pbase + 8, and the method's bytecode, which starts a
// new cog with the code and PAR 0 and returns. The file ends at vbase; the checksum byte makes the
// bytes below dbase sum to 0 modulo 256 once the two stack marker longs are in place.
std::vector<std::uint8_t> buildProgramImage(const std::vector<std::uint8_t>& cogCode,
                                            ClockSettings clock);

// The sum of the image bytes below dbase with the stack markers at dbase - 8 and dbase - 4, modulo
// 256.
std::uint8_t imageChecksum(const std::vector<std::uint8_t>& image);

}  // namespace qkl::pasm
