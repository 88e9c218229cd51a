#pragma once

#include <string>
#include <vector>

#include "tools/Diagnostic.h"
#include "tools/Token.h"

namespace qkl::pasm {

struct SourceLine {
  int number;  // 1-based line number
  Tokens tokens;
};

struct LexedSource {
  std::vector<SourceLine> lines;  // lines with at least one token
  std::vector<Diagnostic> errors;
};

// Splits the source into tokens, line by line, dropping ' comments and { } block comments (which nest
// and may span lines).
LexedSource lex(const std::string& source);

}  // namespace qkl::pasm
