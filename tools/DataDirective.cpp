#include "tools/DataDirective.h"

#include "tools/Diagnostic.h"

namespace qkl::pasm {
namespace {

DataItem parseItem(TokenSpan part, int fallbackColumn, const ValueOfTokens& valueOf) {
  if (part.empty()) throw LineError(fallbackColumn, "expected a value");
  DataItem item{part, nullptr, 1, part.front().column};
  if (isSymbol(part.back(), "]")) {
    std::size_t open = part.size() - 1;
    while (open > 0 && !isSymbol(part[open], "[")) --open;
    if (!isSymbol(part[open], "[")) throw LineError(part.back().column, "']' without its '['");
    TokenSpan count = part.subspan(open + 1, part.size() - open - 2);
    item.repeat = valueOf(count, part.back().column);
    item.expression = part.first(open);
  }
  if (item.expression.size() == 1 && item.expression[0].kind == TokenKind::String) {
    item.string = &item.expression[0];
  }
  if (item.expression.empty())
    throw LineError(item.column, "expected a value before the repeat count");
  return item;
}

void checkFits(std::uint32_t value, std::uint32_t size, int column) {
  if (size == 4) return;
  auto signedValue = static_cast<std::int64_t>(static_cast<std::int32_t>(value));
  std::int64_t lowest = size == 1 ? -128 : -32768;
  std::int64_t highest = size == 1 ? 255 : 65535;
  if (signedValue < lowest || signedValue > highest) {
    throw LineError(column, "value " + std::to_string(signedValue) + " does not fit in a " +
                                (size == 1 ? "byte" : "word"));
  }
}

}  // namespace

std::uint32_t dataSize(const std::string& name) {
  if (name == "LONG") return 4;
  if (name == "WORD") return 2;
  if (name == "BYTE") return 1;
  return 0;
}

std::vector<DataItem> dataItems(TokenSpan operands, const ValueOfTokens& valueOf) {
  std::vector<DataItem> items;
  for (TokenSpan part : splitAtCommas(operands)) {
    items.push_back(parseItem(part, columnAfter(operands, 1), valueOf));
  }
  return items;
}

std::vector<std::uint32_t> DataItem::values(const ValueOfTokens& valueOf,
                                            std::uint32_t size) const {
  std::vector<std::uint32_t> result;
  if (string) {
    for (char c : string->text) result.push_back(static_cast<unsigned char>(c));
    return result;
  }
  std::uint32_t value = valueOf(expression, columnAfter(expression, column));
  checkFits(value, size, column);
  result.push_back(value);
  return result;
}

}  // namespace qkl::pasm
