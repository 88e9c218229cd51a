#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "tools/Token.h"

namespace qkl::pasm {

struct SymbolDefinition {
  std::uint32_t value;
  int line;
  int column;
};

// Constants and labels, case-insensitive. Local labels (":name") live under the last global label.
class SymbolTable {
 public:
  // Defines a name (Identifier or LocalName token); throws LineError on a duplicate or reserved
  // name.
  void define(const Token& name, std::uint32_t value, int line);
  // Makes `name` the scope of the local labels that follow.
  void enterScope(const Token& name);
  std::optional<SymbolDefinition> find(const Token& name) const;
  // The definition of "<name>_RET" in the same scope as `name`.
  std::optional<SymbolDefinition> findReturnRegister(const Token& name) const;
  std::optional<SymbolDefinition> findConstant(const std::string& upperCaseName) const;

 private:
  std::optional<SymbolDefinition> lookup(const std::string& key) const;
  std::string keyOf(const Token& name, const std::string& suffix = "") const;

  std::map<std::string, SymbolDefinition> symbols_;
  std::string scope_;
};

}  // namespace qkl::pasm
