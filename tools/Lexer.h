#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/Diagnostic.h"
#include "tools/Token.h"

namespace qkl::pasm {

struct SourceLine {
  int number;     // 1-based line number
  Tokens tokens;  // with an error, the tokens in front of it
  std::optional<Diagnostic> error;
};

struct LexedSource {
  std::vector<SourceLine> lines;   // lines with at least one token or an error
  std::vector<Diagnostic> errors;  // errors of the file as a whole
};

// Splits the source into tokens, line by line, dropping ' comments and { } block comments (which
// nest and may span lines).
LexedSource lex(const std::string& source);

}  // namespace qkl::pasm
