#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/TokenSpan.h"

namespace qkl::pasm {

// Evaluates an expression; `end` is the column behind it, for errors about a missing value.
using ValueOfTokens = std::function<std::uint32_t(TokenSpan tokens, int end)>;

// One item of LONG, WORD or BYTE: a value or a "string", optionally repeated with [count].
struct DataItem {
  TokenSpan expression;
  const Token* string;  // set for a string item, whose characters are the elements
  std::uint64_t repeat;
  int column;

  std::uint64_t elementCount() const { return string ? string->text.size() : 1; }
  // The element values, each checked to fit `size` bytes (signed or unsigned); throws LineError.
  std::vector<std::uint32_t> values(const ValueOfTokens& valueOf, std::uint32_t size) const;
};

// Bytes per element of a data directive (LONG 4, WORD 2, BYTE 1), or 0 for any other name (upper
// case).
std::uint32_t dataSize(const std::string& name);

// Splits the operands of a data directive into items, evaluating their repeat counts.
std::vector<DataItem> dataItems(TokenSpan operands, const ValueOfTokens& valueOf);

}  // namespace qkl::pasm
