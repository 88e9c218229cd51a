#include "tools/InstructionEncoder.h"

#include <algorithm>
#include <string>
#include <vector>

#include "tools/Diagnostic.h"

namespace qkl::pasm {
namespace {

constexpr std::uint32_t kLargestField = 511;

bool isEffect(const Token& token) {
  return token.kind == TokenKind::Identifier && findEffect(folded(token.text));
}

struct Effects {
  std::vector<const Token*> tokens;
  TokenSpan operands;  // what stands before them
};

Effects splitEffects(TokenSpan rest) {
  Effects result;
  std::size_t end = rest.size();
  while (end > 0 && isEffect(rest[end - 1])) {
    result.tokens.push_back(&rest[end - 1]);
    --end;
    if (end > 1 && isSymbol(rest[end - 1], ",") && isEffect(rest[end - 2])) --end;
  }
  result.operands = rest.first(end);
  std::reverse(result.tokens.begin(), result.tokens.end());
  return result;
}

std::uint32_t applyEffects(std::uint32_t word, const Effects& effects, const Token& mnemonic,
                           const Instruction& instruction) {
  const Token* write = nullptr;
  for (const Token* token : effects.tokens) {
    std::string name = folded(token->text);
    bool changesWrite = name == "WR" || name == "NR";
    if (changesWrite && instruction.memoryAccess) {
      throw LineError(
          token->column,
          folded(mnemonic.text) + " cannot take WR or NR: that bit tells a read from a write");
    }
    if (changesWrite && write && folded(write->text) != name) {
      throw LineError(token->column, "WR and NR contradict each other");
    }
    if (changesWrite) write = token;
    word = name == "NR" ? word & ~kWriteResult : word | *findEffect(name);
  }
  return word;
}

struct Operand {
  bool immediate;
  TokenSpan expression;
  int column;
};

std::vector<Operand> parseOperands(TokenSpan tokens) {
  std::vector<Operand> operands;
  for (TokenSpan part : splitAtCommas(tokens)) {
    bool immediate = !part.empty() && isSymbol(part.front(), "#");
    int column = part.empty() ? 0 : part.front().column;
    operands.push_back(Operand{immediate, immediate ? part.subspan(1) : part, column});
  }
  return operands;
}

std::uint32_t fieldValue(const Operand& operand, int fallbackColumn,
                         const ExpressionContext& context) {
  int column = operand.column ? operand.column : fallbackColumn;
  std::uint32_t value =
      evaluate(operand.expression, columnAfter(operand.expression, column), context);
  if (value > kLargestField) {
    std::string shown = std::to_string(static_cast<std::int32_t>(value));
    throw LineError(column, operand.immediate ? "immediate #" + shown + " is out of 0..511"
                                              : "register address " + shown + " is out of 0..511");
  }
  return value;
}

void requireCount(const std::vector<Operand>& operands, std::size_t count, const Token& mnemonic,
                  const char* what) {
  if (operands.size() == count) return;
  int column = operands.size() > count ? operands[count].column : mnemonic.column;
  throw LineError(column, folded(mnemonic.text) + " takes " + what + ", found " +
                              std::to_string(operands.size()) + " operand" +
                              (operands.size() == 1 ? "" : "s"));
}

void requireRegister(const Operand& operand, const char* role) {
  if (operand.immediate)
    throw LineError(operand.column, std::string("the ") + role + " cannot be an immediate");
}

std::uint32_t source(const Operand& operand, const Token& mnemonic,
                     const ExpressionContext& context) {
  std::uint32_t value = fieldValue(operand, mnemonic.column, context);
  return value | (operand.immediate ? kImmediate : 0);
}

std::uint32_t destination(const Operand& operand, const Token& mnemonic,
                          const ExpressionContext& context) {
  requireRegister(operand, "destination");
  return fieldValue(operand, mnemonic.column, context) << 9;
}

std::uint32_t callFields(const Operand& operand, const Token& mnemonic,
                         const OperandContext& context) {
  bool plainLabel =
      operand.expression.size() == 1 && (operand.expression[0].kind == TokenKind::Identifier ||
                                         operand.expression[0].kind == TokenKind::LocalName);
  if (!operand.immediate || !plainLabel) {
    throw LineError(operand.column, "CALL takes #label, where label_RET holds the routine's RET");
  }
  std::uint32_t target = fieldValue(operand, mnemonic.column, context.expression);
  std::uint32_t returnRegister = context.returnRegisterOf(operand.expression[0]);
  return kImmediate | returnRegister << 9 | target;
}

std::uint32_t operandFields(const Token& mnemonic, const Instruction& instruction,
                            const std::vector<Operand>& operands, const OperandContext& context) {
  switch (instruction.form) {
    case OperandForm::DestinationSource:
      requireCount(operands, 2, mnemonic, "2 operands (destination, source)");
      return destination(operands[0], mnemonic, context.expression) |
             source(operands[1], mnemonic, context.expression);
    case OperandForm::SourceOnly:
      requireCount(operands, 1, mnemonic, "1 operand (the jump target)");
      return source(operands[0], mnemonic, context.expression);
    case OperandForm::DestinationOnly:
      requireCount(operands, 1, mnemonic, "1 operand (a register)");
      return destination(operands[0], mnemonic, context.expression);
    case OperandForm::Call:
      requireCount(operands, 1, mnemonic, "1 operand (#label)");
      return callFields(operands[0], mnemonic, context);
    case OperandForm::None: requireCount(operands, 0, mnemonic, "no operands"); return 0;
  }
  return 0;
}

}  // namespace

std::uint32_t encodeInstruction(const Token& mnemonic, const Instruction& instruction,
                                std::optional<std::uint32_t> condition, TokenSpan rest,
                                const OperandContext& context) {
  bool isNop = instruction.opcode == 0 && instruction.form == OperandForm::None;
  if (isNop && condition) throw LineError(mnemonic.column, "NOP takes no condition");
  Effects effects = splitEffects(rest);
  if (isNop && !effects.tokens.empty())
    throw LineError(effects.tokens.back()->column, "NOP takes no effects");
  std::uint32_t word = instruction.opcode << 26 | instruction.fixed;
  if (!isNop) word |= condition.value_or(kAlways) << 18;
  if (instruction.writesResult) word |= kWriteResult;
  word |= operandFields(mnemonic, instruction, parseOperands(effects.operands), context);
  return applyEffects(word, effects, mnemonic, instruction);
}

}  // namespace qkl::pasm
