// The cog ALU: result and flags of the register-to-register instructions.
#pragma once

#include <cstdint>

namespace qkl::cog {

struct AluResult {
  uint32_t value;
  bool c;
  bool z;
  bool writable;  // false where the instruction itself withholds the write (MIN/MAX, CMPSUB)
};

// Opcodes ROR..TJZ and WAITCNT (its D+S). `pc` is the address of the instruction (for JMPRET).
AluResult Alu(uint32_t opcode, uint32_t d, uint32_t s, bool c, bool z, uint32_t pc);

}  // namespace qkl::cog
