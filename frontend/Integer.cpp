#include "frontend/Integer.h"

#include <limits>

#include "frontend/Errors.h"
#include "frontend/Texts.h"

namespace {

int DigitValue(char Ch, int Base) {
  int Value = Base;
  if (Ch >= '0' && Ch <= '9') Value = Ch - '0';
  if (Ch >= 'a' && Ch <= 'f') Value = Ch - 'a' + 10;
  if (Ch >= 'A' && Ch <= 'F') Value = Ch - 'A' + 10;
  return Value < Base ? Value : -1;
}

bool ParseInteger(const std::string& Text, int32_t& Value) {
  int Base = 10;
  bool Negative = false;
  std::size_t Pos = 0;
  if (Text.starts_with('$')) {
    Base = 16;
    Pos = 1;
  } else if (Text.starts_with("0x") || Text.starts_with("0X")) {
    Base = 16;
    Pos = 2;
  } else if (Text.starts_with('-') || Text.starts_with('+')) {
    Negative = Text[0] == '-';
    Pos = 1;
  }
  if (Pos == Text.size()) return false;
  int64_t Magnitude = 0;
  for (; Pos < Text.size(); ++Pos) {
    const int Digit = DigitValue(Text[Pos], Base);
    if (Digit < 0) return false;
    Magnitude = Magnitude * Base + Digit;
    if (Magnitude > int64_t{1} << 31) return false;
  }
  const int64_t Signed = Negative ? -Magnitude : Magnitude;
  if (Signed > std::numeric_limits<int32_t>::max()) return false;
  Value = static_cast<int32_t>(Signed);
  return true;
}

}  // namespace

int32_t StrToInt(const std::string& Text) {
  int32_t Value = 0;
  if (!ParseInteger(Text, Value)) throw EConvertError(InvalidIntegerText(Text));
  return Value;
}
