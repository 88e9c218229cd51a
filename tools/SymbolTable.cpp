#include "tools/SymbolTable.h"

#include "tools/Diagnostic.h"
#include "tools/InstructionSet.h"

namespace qkl::pasm {

std::string SymbolTable::keyOf(const Token& name, const std::string& suffix) const {
  std::string key = folded(name.text) + suffix;
  if (name.kind != TokenKind::LocalName) return key;
  if (scope_.empty())
    throw LineError(name.column, "local label :" + name.text + " has no global label above it");
  return scope_ + ":" + key;
}

void SymbolTable::define(const Token& name, std::uint32_t value, int line) {
  if (name.kind == TokenKind::Identifier && isReserved(folded(name.text))) {
    throw LineError(name.column, "'" + name.text + "' is a reserved word and cannot be a name");
  }
  auto [it, added] = symbols_.emplace(keyOf(name), SymbolDefinition{value, line, name.column});
  if (!added) {
    throw LineError(name.column, "duplicate name '" + name.text + "', first defined on line " +
                                     std::to_string(it->second.line));
  }
}

void SymbolTable::enterScope(const Token& name) { scope_ = folded(name.text); }

std::optional<SymbolDefinition> SymbolTable::lookup(const std::string& key) const {
  auto it = symbols_.find(key);
  if (it == symbols_.end()) return std::nullopt;
  return it->second;
}

std::optional<SymbolDefinition> SymbolTable::find(const Token& name) const {
  return lookup(keyOf(name));
}

std::optional<SymbolDefinition> SymbolTable::findReturnRegister(const Token& name) const {
  return lookup(keyOf(name, "_RET"));
}

std::optional<SymbolDefinition> SymbolTable::findConstant(const std::string& upperCaseName) const {
  return lookup(upperCaseName);
}

}  // namespace qkl::pasm
