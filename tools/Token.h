#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qkl::pasm {

enum class TokenKind {
  Identifier,  // a name, a mnemonic or a keyword
  LocalName,   // ":name", a label scoped to the last global label
  Number,
  String,  // "text", only in data directives
  Here,    // "$" alone: the current cog address
  Symbol,  // an operator or punctuation: + - * / // << >> & | ^ ~ ! ( ) , # [ ] =
};

struct Token {
  TokenKind kind;
  std::string text;     // as written (for Identifier and LocalName without the colon)
  int column;           // 1-based column of the first character
  std::uint32_t value;  // for Number
};

using Tokens = std::vector<Token>;

// Upper-case copy of a name: symbols, mnemonics and keywords are case-insensitive.
std::string folded(const std::string& name);

}  // namespace qkl::pasm
