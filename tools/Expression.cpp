#include "tools/Expression.h"

#include <array>
#include <string>

#include "tools/Diagnostic.h"

namespace qkl::pasm {
namespace {

constexpr int kDeepestNesting = 256;

// Binary operators by level; level 0 binds tightest.
const std::array<std::array<const char*, 3>, 5> kLevels = {{
    {"<<", ">>", nullptr},
    {"&", nullptr, nullptr},
    {"|", "^", nullptr},
    {"*", "/", "//"},
    {"+", "-", nullptr},
}};

bool isOperator(const Token& token, const char* op) {
  return token.kind == TokenKind::Symbol && token.text == op;
}

class Evaluator {
 public:
  Evaluator(std::span<const Token> tokens, int end, const ExpressionContext& context)
      : tokens_(tokens), end_(end), context_(context) {}

  std::uint32_t run() {
    std::uint32_t value = binary(static_cast<int>(kLevels.size()) - 1);
    if (pos_ < tokens_.size())
      throw LineError(tokens_[pos_].column, "unexpected '" + tokens_[pos_].text + "'");
    return value;
  }

 private:
  const Token* current() const { return pos_ < tokens_.size() ? &tokens_[pos_] : nullptr; }

  const char* operatorAt(int level) const {
    const Token* token = current();
    if (!token) return nullptr;
    for (const char* op : kLevels[level]) {
      if (op && isOperator(*token, op)) return op;
    }
    return nullptr;
  }

  std::uint32_t binary(int level) {
    if (level < 0) return unary();
    std::uint32_t left = binary(level - 1);
    while (const char* op = operatorAt(level)) {
      const Token& token = tokens_[pos_++];
      left = apply(op, left, binary(level - 1), token);
    }
    return left;
  }

  static std::uint32_t apply(const std::string& op, std::uint32_t a, std::uint32_t b,
                             const Token& token) {
    if (op == "<<") return a << (b & 31);
    if (op == ">>") return a >> (b & 31);
    if (op == "&") return a & b;
    if (op == "|") return a | b;
    if (op == "^") return a ^ b;
    if (op == "*") return a * b;
    if (op == "+") return a + b;
    if (op == "-") return a - b;
    if (b == 0) throw LineError(token.column, "division by zero");
    auto sa = static_cast<std::int64_t>(static_cast<std::int32_t>(a));
    auto sb = static_cast<std::int64_t>(static_cast<std::int32_t>(b));
    return static_cast<std::uint32_t>(op == "/" ? sa / sb : sa % sb);
  }

  std::uint32_t unary() {
    const Token* token = current();
    if (!token) throw LineError(end_, "expected a value");
    if (++depth_ > kDeepestNesting) throw LineError(token->column, "expression nested too deeply");
    std::uint32_t value = unaryOperand(*token);
    --depth_;
    return value;
  }

  std::uint32_t unaryOperand(const Token& token) {
    bool negate = isOperator(token, "-");
    bool invert = isOperator(token, "~") || isOperator(token, "!");
    if (!negate && !invert && !isOperator(token, "+")) return primary(token);
    ++pos_;
    std::uint32_t value = unary();
    return negate ? 0u - value : invert ? ~value : value;
  }

  std::uint32_t primary(const Token& token) {
    ++pos_;
    switch (token.kind) {
      case TokenKind::Number: return token.value;
      case TokenKind::Here: return context_.here;
      case TokenKind::Identifier:
      case TokenKind::LocalName: return context_.valueOf(token);
      case TokenKind::String:
        if (token.text.size() == 1) return static_cast<unsigned char>(token.text[0]);
        throw LineError(token.column, "a string of several characters is not a value");
      case TokenKind::Symbol:
        if (token.text == "(") return parenthesised(token);
        break;
    }
    throw LineError(token.column, "expected a value, found '" + token.text + "'");
  }

  std::uint32_t parenthesised(const Token& open) {
    std::uint32_t value = binary(static_cast<int>(kLevels.size()) - 1);
    const Token* close = current();
    if (!close || !isOperator(*close, ")")) {
      throw LineError(close ? close->column : open.column, "'(' without its ')'");
    }
    ++pos_;
    return value;
  }

  std::span<const Token> tokens_;
  int end_;
  const ExpressionContext& context_;
  std::size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

std::uint32_t evaluate(std::span<const Token> tokens, int end, const ExpressionContext& context) {
  return Evaluator(tokens, end, context).run();
}

}  // namespace qkl::pasm
