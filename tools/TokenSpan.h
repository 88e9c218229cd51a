#pragma once

#include <span>
#include <vector>

#include "tools/Token.h"

namespace qkl::pasm {

using TokenSpan = std::span<const Token>;

// Splits at the commas that are outside parentheses and brackets. An empty input gives no parts.
std::vector<TokenSpan> splitAtCommas(TokenSpan tokens);

// The column just behind the last token (or `fallback` when there are none), for "missing" errors.
int columnAfter(TokenSpan tokens, int fallback);

bool isSymbol(const Token& token, const char* text);

}  // namespace qkl::pasm
