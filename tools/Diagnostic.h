#pragma once

#include <stdexcept>
#include <string>

namespace qkl::pasm {

// An error a programmer can act on: where it is (1-based line and column) and what is wrong.
struct Diagnostic {
  int line;
  int column;
  std::string message;
};

// Thrown while a single line is processed; the assembler records it and goes on with the next line.
class LineError : public std::runtime_error {
 public:
  LineError(int column, const std::string& message)
      : std::runtime_error(message), column_(column) {}
  int column() const { return column_; }

 private:
  int column_;
};

}  // namespace qkl::pasm
