#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qkl::pasm {

// How an instruction takes its operands.
enum class OperandForm {
  DestinationSource,  // op D, S   (S may be #immediate)
  SourceOnly,         // jmp S     (D field 0)
  DestinationOnly,    // hub operation D, with its number as the #immediate source
  Call,               // call #label: D = label_ret, S = label
  None,               // nop, ret
};

struct Instruction {
  std::uint32_t opcode;  // bits 31:26
  bool writesResult;     // the R bit when neither WR nor NR is given
  OperandForm form;
  std::uint32_t fixed;  // bits preset for the form: the I bit and source of hub operations and RET
  bool memoryAccess;    // RDxxx/WRxxx: the R bit tells a read from a write, so WR/NR are refused
};

// Looks up a mnemonic (upper case).
std::optional<Instruction> findInstruction(const std::string& mnemonic);

// Looks up a condition prefix (upper case), giving the 4-bit condition field.
std::optional<std::uint32_t> findCondition(const std::string& name);

// Looks up an effect (upper case), giving the bits it sets; WR is 1<<23 and NR is reported as 0.
std::optional<std::uint32_t> findEffect(const std::string& name);

// The cog address of a special register name (upper case).
std::optional<std::uint32_t> findRegister(const std::string& name);

// True for MUL, MULS, ENC and ONES (upper case): opcodes of an earlier design that this chip lacks.
bool isUnimplementedInstruction(const std::string& name);

// True for names that are instructions, conditions, effects, registers or directives.
bool isReserved(const std::string& name);

inline constexpr std::uint32_t kWriteZ = 1u << 25;
inline constexpr std::uint32_t kWriteC = 1u << 24;
inline constexpr std::uint32_t kWriteResult = 1u << 23;
inline constexpr std::uint32_t kImmediate = 1u << 22;
inline constexpr std::uint32_t kAlways = 0xF;

}  // namespace qkl::pasm
