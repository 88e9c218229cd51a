// The boot loader's shift register, as the ROM steps it: the output is bit 0, then the register
// shifts left and takes the parity of its bits 7, 5, 4 and 1 into bit 0.
#pragma once

#include <bit>
#include <cstdint>

namespace qkl::sim {

class ChipLfsr {
 public:
  int Next() {
    const int output = register_ & 1;
    register_ = static_cast<uint8_t>((register_ << 1) |
                                     (std::popcount(static_cast<unsigned>(register_ & 0xB2)) & 1));
    return output;
  }

 private:
  uint8_t register_ = 'P';
};

}  // namespace qkl::sim
