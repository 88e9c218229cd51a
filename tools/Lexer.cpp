#include "tools/Lexer.h"

#include <cctype>
#include <cstdint>
#include <limits>

namespace qkl::pasm {

std::string folded(const std::string& name) {
  std::string result = name;
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

class LineLexer {
 public:
  LineLexer(const std::string& text, int& commentDepth)
      : text_(text), commentDepth_(commentDepth) {}

  Tokens run() {
    while (pos_ < text_.size()) {
      if (commentDepth_ > 0) {
        skipBlockComment();
        continue;
      }
      char c = text_[pos_];
      if (c == '\'') break;
      if (c == '{') {
        ++commentDepth_;
        ++pos_;
      } else if (c == '}') {
        throw LineError(column(), "'}' without an open '{' comment");
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else {
        tokens_.push_back(nextToken());
      }
    }
    return std::move(tokens_);
  }

  Tokens partial() { return std::move(tokens_); }

 private:
  int column() const { return static_cast<int>(pos_) + 1; }
  char peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }

  void skipBlockComment() {
    char c = text_[pos_++];
    if (c == '{') ++commentDepth_;
    if (c == '}') --commentDepth_;
  }

  Token nextToken() {
    char c = peek();
    if (isNameStart(c)) {
      std::size_t start = pos_;
      return fixColumn(Token{TokenKind::Identifier, readName(), 0, 0}, start);
    }
    if (std::isdigit(static_cast<unsigned char>(c))) return readNumber(10, 0);
    if (c == '$') return digitValue(peek(1)) < 16 ? readNumber(16, 1) : single(TokenKind::Here);
    if (c == '%' && digitValue(peek(1)) < 2) return readNumber(2, 1);
    if (c == ':' && isNameStart(peek(1))) return readLocalName();
    if (c == '"') return readString();
    for (const char* pair : {"//", "<<", ">>"}) {
      if (c == pair[0] && peek(1) == pair[1]) return symbol(2);
    }
    if (std::string("+-*/&|^~!()#,[]=").find(c) != std::string::npos) return symbol(1);
    throw LineError(column(), std::string("unexpected character '") + c + "'");
  }

  std::string readName() {
    std::size_t start = pos_;
    while (isNameChar(peek())) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  Token fixColumn(Token token, std::size_t start) const {
    token.column = static_cast<int>(start) + 1;
    return token;
  }

  Token readLocalName() {
    std::size_t start = pos_++;
    std::string name = readName();
    return fixColumn(Token{TokenKind::LocalName, name, 0, 0}, start);
  }

  Token readNumber(int base, std::size_t prefix) {
    std::size_t start = pos_;
    pos_ += prefix;
    std::uint64_t value = 0;
    while (isNameChar(peek())) {
      char c = text_[pos_];
      if (c != '_') {
        int digit = digitValue(c);
        if (digit >= base)
          throw LineError(column(), std::string("'") + c + "' is not a digit of this number");
        value = value * base + digit;
        if (value > std::numeric_limits<std::uint32_t>::max()) {
          throw LineError(static_cast<int>(start) + 1, "number does not fit in 32 bits");
        }
      }
      ++pos_;
    }
    return fixColumn(Token{TokenKind::Number, text_.substr(start, pos_ - start), 0,
                           static_cast<std::uint32_t>(value)},
                     start);
  }

  Token readString() {
    std::size_t start = pos_++;
    std::size_t end = text_.find('"', pos_);
    if (end == std::string::npos)
      throw LineError(static_cast<int>(start) + 1, "string without its closing '\"'");
    std::string body = text_.substr(pos_, end - pos_);
    if (body.empty()) throw LineError(static_cast<int>(start) + 1, "empty string");
    pos_ = end + 1;
    return fixColumn(Token{TokenKind::String, body, 0, 0}, start);
  }

  Token single(TokenKind kind) { return symbolOfKind(kind, 1); }
  Token symbol(std::size_t length) { return symbolOfKind(TokenKind::Symbol, length); }

  Token symbolOfKind(TokenKind kind, std::size_t length) {
    std::size_t start = pos_;
    pos_ += length;
    return fixColumn(Token{kind, text_.substr(start, length), 0, 0}, start);
  }

  const std::string& text_;
  int& commentDepth_;
  std::size_t pos_ = 0;
  Tokens tokens_;
};

}  // namespace

LexedSource lex(const std::string& source) {
  LexedSource result;
  int commentDepth = 0;
  int commentLine = 0;
  int number = 0;
  std::size_t start = 0;
  while (start <= source.size()) {
    std::size_t end = source.find('\n', start);
    if (end == std::string::npos) end = source.size();
    std::string text = source.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    ++number;
    if (commentDepth == 0) commentLine = number;
    LineLexer lexer(text, commentDepth);
    try {
      Tokens tokens = lexer.run();
      if (!tokens.empty())
        result.lines.push_back(SourceLine{number, std::move(tokens), std::nullopt});
    } catch (const LineError& error) {
      result.lines.push_back(
          SourceLine{number, lexer.partial(), Diagnostic{number, error.column(), error.what()}});
    }
    start = end + 1;
  }
  if (commentDepth > 0)
    result.errors.push_back(Diagnostic{commentLine, 1, "'{' comment is never closed"});
  return result;
}

}  // namespace qkl::pasm
