#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "tools/Expression.h"
#include "tools/InstructionSet.h"
#include "tools/TokenSpan.h"

namespace qkl::pasm {

struct OperandContext {
  ExpressionContext expression;
  // The cog address of the register named "<label>_RET" for CALL #label; throws LineError when
  // missing.
  std::function<std::uint32_t(const Token& label)> returnRegisterOf;
};

// Encodes one instruction word. `condition` is the 4-bit field of a written prefix (none: always).
// `rest` holds the tokens after the mnemonic: operands, then effects. Throws LineError.
std::uint32_t encodeInstruction(const Token& mnemonic, const Instruction& instruction,
                                std::optional<std::uint32_t> condition, TokenSpan rest,
                                const OperandContext& context);

}  // namespace qkl::pasm
