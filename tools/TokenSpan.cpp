#include "tools/TokenSpan.h"

namespace qkl::pasm {

bool isSymbol(const Token& token, const char* text) {
  return token.kind == TokenKind::Symbol && token.text == text;
}

std::vector<TokenSpan> splitAtCommas(TokenSpan tokens) {
  std::vector<TokenSpan> parts;
  if (tokens.empty()) return parts;
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    if (isSymbol(token, "(") || isSymbol(token, "[")) ++depth;
    if (isSymbol(token, ")") || isSymbol(token, "]")) --depth;
    if (depth == 0 && isSymbol(token, ",")) {
      parts.push_back(tokens.subspan(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(tokens.subspan(start));
  return parts;
}

int columnAfter(TokenSpan tokens, int fallback) {
  if (tokens.empty()) return fallback;
  const Token& last = tokens.back();
  int width = last.kind == TokenKind::LocalName ? 1 : 0;
  width += last.kind == TokenKind::String ? 2 : 0;
  return last.column + width + static_cast<int>(last.text.size());
}

}  // namespace qkl::pasm
