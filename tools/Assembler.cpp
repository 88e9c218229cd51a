#include "tools/Assembler.h"

#include <set>

#include "tools/DataDirective.h"
#include "tools/Expression.h"
#include "tools/InstructionEncoder.h"
#include "tools/InstructionSet.h"
#include "tools/Lexer.h"
#include "tools/SymbolTable.h"
#include "tools/TokenSpan.h"

namespace qkl::pasm {
namespace {

enum class Pass { Layout, Emit };
enum class Section { Con, Dat, Unsupported };

constexpr std::uint64_t kCogBytes = std::uint64_t{496} * 4;

std::string hex(std::uint64_t value) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), digits[value % 16]);
    value /= 16;
  } while (value);
  return "$" + text;
}

class Assembler {
 public:
  explicit Assembler(const std::string& source) : lexed_(lex(source)) {}

  Assembly run() {
    Assembly result;
    errors_ = lexed_.errors;
    runPass(Pass::Layout);
    runPass(Pass::Emit);
    code_.resize(hub_);
    if (errors_.empty() && code_.empty()) {
      errors_.push_back(Diagnostic{0, 0, "no cog code: put instructions or data in a DAT block"});
    }
    readClockSettings(result);
    result.cogCode = std::move(code_);
    result.errors = std::move(errors_);
    return result;
  }

 private:
  void runPass(Pass pass) {
    pass_ = pass;
    section_ = Section::Con;
    hub_ = 0;
    cogByte_ = 0;
    afterRes_ = false;
    symbols_.enterScope(Token{TokenKind::Identifier, "", 0, 0});
    for (const SourceLine& line : lexed_.lines) processLine(line);
  }

  void processLine(const SourceLine& line) {
    line_ = line.number;
    try {
      TokenSpan tokens = line.tokens.empty() ? TokenSpan() : enterSection(line.tokens);
      if (section_ == Section::Unsupported) return;
      if (line.error) throw LineError(line.error->column, line.error->message);
      if (tokens.empty()) return;
      if (section_ == Section::Con) {
        constantLine(tokens);
      } else {
        datLine(tokens);
      }
    } catch (const LineError& error) {
      if (pass_ == Pass::Layout) failedLines_.insert(line_);
      if (pass_ == Pass::Layout || !failedLines_.count(line_)) {
        errors_.push_back(Diagnostic{line_, error.column(), error.what()});
      }
    }
  }

  bool skipsContent() const { return pass_ == Pass::Emit && failedLines_.count(line_); }

  TokenSpan enterSection(TokenSpan tokens) {
    const Token& first = tokens.front();
    if (first.kind != TokenKind::Identifier) return tokens;
    std::string name = folded(first.text);
    if (name == "CON") {
      section_ = Section::Con;
    } else if (name == "DAT") {
      section_ = Section::Dat;
    } else if (name == "VAR" || name == "OBJ" || name == "PUB" || name == "PRI") {
      section_ = Section::Unsupported;
      throw LineError(first.column,
                      name +
                          " blocks are not supported: only CON and DAT are assembled, and the "
                          "method that starts the cog is generated");
    } else {
      return tokens;
    }
    return tokens.subspan(1);
  }

  void constantLine(TokenSpan tokens) {
    if (pass_ == Pass::Emit) return;
    for (TokenSpan part : splitAtCommas(tokens)) {
      int column = part.empty() ? columnAfter(tokens, 1) : part.front().column;
      if (!part.empty() && isSymbol(part.front(), "#")) {
        throw LineError(column, "enumerations (#) are not supported; write name = value");
      }
      if (part.size() < 2 || part[0].kind != TokenKind::Identifier || !isSymbol(part[1], "=")) {
        throw LineError(column, "expected name = value in a CON block");
      }
      symbols_.define(part[0], value(part.subspan(2), columnAfter(part.first(2), column)), line_);
    }
  }

  // A DAT line: [label] [condition] [mnemonic or directive operands... effects...]
  void datLine(TokenSpan tokens) {
    std::size_t next = 0;
    const Token* label = isLabel(tokens[0]) ? &tokens[next++] : nullptr;
    const Token* condition = nullptr;
    if (next < tokens.size() && tokens[next].kind == TokenKind::Identifier &&
        findCondition(folded(tokens[next].text))) {
      condition = &tokens[next++];
    }
    if (next == tokens.size()) {
      if (condition)
        throw LineError(condition->column, "a condition needs an instruction after it");
      defineLabel(label);
      return;
    }
    const Token& op = tokens[next];
    if (op.kind != TokenKind::Identifier || !isOperation(op))
      throw unknownOperation(tokens, label, op);
    alignFor(folded(op.text));
    defineLabel(label);
    if (skipsContent()) return;
    operation(op, condition, tokens.subspan(next + 1));
  }

  static bool isLabel(const Token& token) {
    return token.kind == TokenKind::LocalName ||
           (token.kind == TokenKind::Identifier && !isReserved(folded(token.text)));
  }

  static bool isDirective(const std::string& name) {
    return name == "ORG" || name == "RES" || name == "FIT" || dataSize(name) != 0;
  }

  static bool isOperation(const Token& token) {
    std::string name = folded(token.text);
    return isDirective(name) || findInstruction(name) || isReserved(name);
  }

  // Without a known mnemonic, the word taken as a label was most likely the mistyped mnemonic when
  // what follows it looks like operands.
  static LineError unknownOperation(TokenSpan tokens, const Token* label, const Token& op) {
    if (label && isSymbol(op, "="))
      return LineError(op.column, "constants are defined in a CON block");
    bool operandsFollow = &op + 1 < tokens.data() + tokens.size() && isSymbol(*(&op + 1), ",");
    const Token& culprit =
        label && (op.kind != TokenKind::Identifier || operandsFollow) ? *label : op;
    return LineError(culprit.column, "unknown mnemonic '" + culprit.text + "'");
  }

  void alignFor(const std::string& name) {
    std::uint32_t alignment = name == "WORD" ? 2 : name == "BYTE" ? 1 : 4;
    std::uint32_t pad = (alignment - hub_ % alignment) % alignment;
    hub_ += pad;
    cogByte_ += pad;
  }

  std::uint32_t here() const { return cogByte_ / 4; }

  void defineLabel(const Token* label) {
    if (!label) return;
    if (pass_ == Pass::Layout) symbols_.define(*label, here(), line_);
    if (label->kind == TokenKind::Identifier) symbols_.enterScope(*label);
  }

  void operation(const Token& op, const Token* condition, TokenSpan operands) {
    std::string name = folded(op.text);
    if (condition && isDirective(name)) {
      throw LineError(condition->column,
                      "a condition goes only before an instruction, not before " + name);
    }
    if (name == "ORG") return org(op, operands);
    if (name == "RES") return reserve(op, operands);
    if (name == "FIT") return fit(op, operands);
    if (std::uint32_t size = dataSize(name)) return data(size, operands);
    std::optional<Instruction> instruction = findInstruction(name);
    if (!instruction && isUnimplementedInstruction(name)) {
      throw LineError(op.column, "'" + name + "' is not an instruction of this chip");
    }
    if (!instruction) {
      throw LineError(op.column,
                      "'" + op.text + "' is a reserved word, neither a label nor an instruction");
    }
    occupy(4, op.column);
    if (pass_ == Pass::Emit) {
      std::optional<std::uint32_t> field;
      if (condition) field = findCondition(folded(condition->text));
      emitLittleEndian(encodeInstruction(op, *instruction, field, operands, operandContext()), 4);
    }
    hub_ += 4;
    cogByte_ += 4;
  }

  std::uint32_t optionalValue(const Token& op, TokenSpan operands, std::uint32_t fallback) {
    if (operands.empty()) return fallback;
    return value(operands, columnAfter(operands, op.column));
  }

  void org(const Token& op, TokenSpan operands) {
    std::uint32_t address = optionalValue(op, operands, 0);
    if (address > kCogBytes / 4) {
      throw LineError(operands.front().column,
                      "ORG " + std::to_string(address) + " is out of 0..496");
    }
    cogByte_ = address * 4;
    afterRes_ = false;
  }

  void reserve(const Token& op, TokenSpan operands) {
    std::uint64_t longs = optionalValue(op, operands, 1);
    if (cogByte_ + longs * 4 > kCogBytes) throw pastCogEnd(op.column, cogByte_ + longs * 4);
    cogByte_ += static_cast<std::uint32_t>(longs * 4);
    afterRes_ = true;
  }

  void fit(const Token& op, TokenSpan operands) {
    std::uint32_t limit = optionalValue(op, operands, kCogBytes / 4);
    std::uint32_t end = (cogByte_ + 3) / 4;
    if (end > limit) {
      throw LineError(op.column,
                      "the code reaches " + hex(end) + ", past the FIT limit " + hex(limit));
    }
  }

  void data(std::uint32_t size, TokenSpan operands) {
    std::vector<DataItem> items = dataItems(operands, evaluator());
    std::uint64_t bytes = 0;
    for (const DataItem& item : items) bytes += item.repeat * item.elementCount() * size;
    if (!items.empty()) occupy(bytes, items.front().column);
    if (pass_ == Pass::Emit) {
      std::uint32_t offset = hub_;
      for (const DataItem& item : items) offset = emitDataItem(item, size, offset);
    }
    hub_ += static_cast<std::uint32_t>(bytes);
    cogByte_ += static_cast<std::uint32_t>(bytes);
  }

  // Writes one item at `offset`, giving the offset behind it.
  std::uint32_t emitDataItem(const DataItem& item, std::uint32_t size, std::uint32_t offset) {
    std::vector<std::uint32_t> elements = item.values(evaluator(), size);
    for (std::uint64_t copy = 0; copy < item.repeat; ++copy) {
      for (std::uint32_t element : elements) {
        emitLittleEndian(element, size, offset);
        offset += size;
      }
    }
    return offset;
  }

  // Checks that `bytes` more code may be placed at the current cog address.
  void occupy(std::uint64_t bytes, int column) {
    if (afterRes_) {
      throw LineError(
          column,
          "code or data after RES would not be loaded at its cog address; put RES at the "
          "end, or start a new ORG");
    }
    if (cogByte_ + bytes > kCogBytes) throw pastCogEnd(column, cogByte_ + bytes);
  }

  static LineError pastCogEnd(int column, std::uint64_t endByte) {
    return LineError(column, "past the end of the cog's 496 longs (this reaches " +
                                 hex((endByte + 3) / 4) + ")");
  }

  void emitLittleEndian(std::uint32_t value, std::uint32_t size) {
    emitLittleEndian(value, size, hub_);
  }

  void emitLittleEndian(std::uint32_t value, std::uint32_t size, std::uint32_t offset) {
    if (code_.size() < offset + size) code_.resize(offset + size);
    for (std::uint32_t i = 0; i < size; ++i)
      code_[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }

  std::uint32_t value(TokenSpan tokens, int end) {
    return evaluate(tokens, end, expressionContext());
  }

  ValueOfTokens evaluator() {
    return [this](TokenSpan tokens, int end) { return value(tokens, end); };
  }

  ExpressionContext expressionContext() {
    return ExpressionContext{[this](const Token& name) { return valueOf(name); }, here()};
  }

  OperandContext operandContext() {
    return OperandContext{expressionContext(),
                          [this](const Token& label) { return returnRegisterOf(label); }};
  }

  std::uint32_t valueOf(const Token& name) const {
    if (name.kind == TokenKind::Identifier) {
      if (std::optional<std::uint32_t> address = findRegister(folded(name.text))) return *address;
    }
    if (std::optional<SymbolDefinition> symbol = symbols_.find(name)) return symbol->value;
    std::string shown = (name.kind == TokenKind::LocalName ? ":" : "") + name.text;
    if (pass_ == Pass::Layout) {
      throw LineError(name.column, "'" + shown +
                                       "' is not defined above this line; constants, ORG, RES, FIT "
                                       "and repeat counts need values known where they stand");
    }
    throw LineError(name.column, "undefined symbol '" + shown + "'");
  }

  std::uint32_t returnRegisterOf(const Token& label) const {
    std::optional<SymbolDefinition> symbol = symbols_.findReturnRegister(label);
    if (!symbol) {
      throw LineError(label.column, "CALL #" + label.text + " needs the label " + label.text +
                                        "_ret on the routine's RET");
    }
    if (symbol->value > 511)
      throw LineError(label.column, label.text + "_ret is not a cog register address");
    return symbol->value;
  }

  void readClockSettings(Assembly& result) {
    if (std::optional<SymbolDefinition> frequency = symbols_.findConstant("_CLKFREQ")) {
      result.clkfreq = frequency->value;
    }
    if (std::optional<SymbolDefinition> mode = symbols_.findConstant("_CLKMODE")) {
      if (mode->value > 0xFF) {
        errors_.push_back(Diagnostic{
            mode->line, mode->column,
            "_clkmode " + std::to_string(mode->value) + " does not fit the 8-bit clock register"});
      }
      result.clkmode = static_cast<std::uint8_t>(mode->value);
    }
  }

  LexedSource lexed_;
  SymbolTable symbols_;
  Pass pass_ = Pass::Layout;
  Section section_ = Section::Con;
  int line_ = 0;
  std::set<int> failedLines_;
  std::vector<Diagnostic> errors_;
  std::uint32_t hub_ = 0;      // offset in the DAT bytes
  std::uint32_t cogByte_ = 0;  // cog address times 4
  bool afterRes_ = false;
  std::vector<std::uint8_t> code_;
};

}  // namespace

Assembly assemble(const std::string& source) { return Assembler(source).run(); }

}  // namespace qkl::pasm
