// The boot loader's shift register, as the ROM steps it: the output is bit 0, then the register
// shifts left and takes the parity of its bits 7, 5, 4 and 1 into bit 0.
#pragma once

#include <bit>
#include <cstdint>

namespace sim {

class ChipLfsr {
public:
  int Next() {
    const int Output = Register & 1;
    Register = static_cast<uint8_t>((Register << 1) |
                                    (std::popcount(static_cast<unsigned>(Register & 0xB2)) & 1));
    return Output;
  }

private:
  uint8_t Register = 'P';
};

}  // namespace sim
