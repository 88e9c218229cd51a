#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "tools/Token.h"

namespace qkl::pasm {

struct ExpressionContext {
  // Gives the value of a name (Identifier or LocalName token); throws LineError when it has none.
  std::function<std::uint32_t(const Token&)> valueOf;
  std::uint32_t here;  // the value of "$"
};

// Evaluates an integer expression in 32-bit two's complement arithmetic. The operators bind as on
// this chip's conventional assembler, tightest first: unary - + ~ !; << >>; &; | ^; * / //; binary
// + -. An empty or malformed expression, or division by zero, throws LineError. `end` is the column
// just behind the expression, for errors about a missing value.
std::uint32_t evaluate(std::span<const Token> tokens, int end, const ExpressionContext& context);

}  // namespace qkl::pasm
