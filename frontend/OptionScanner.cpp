#include "frontend/OptionScanner.h"

#include <algorithm>

#include "frontend/Texts.h"

namespace {

bool IsNonOption(const std::string& Element) {
  return Element.empty() || Element[0] != '-' || Element == "-";
}

}  // namespace

TOptionScanner::TOptionScanner(std::vector<std::string> Arguments)
    : FArguments(std::move(Arguments)) {
  if (FArguments.empty()) FArguments.emplace_back();
}

std::string TOptionScanner::Argument(int32_t At) const {
  if (At < 0 || At > ArgumentCount()) return {};
  return FArguments[static_cast<std::size_t>(At)];
}

// Moves the block of non-options passed over so far behind the options consumed after it,
// each group keeping its order.
void TOptionScanner::MoveBlockBehindOptions() {
  auto& Elements = FArguments;
  std::rotate(Elements.begin() + FirstNonOption, Elements.begin() + LastNonOption,
              Elements.begin() + OptionIndex);
  FirstNonOption += OptionIndex - LastNonOption;
  LastNonOption = OptionIndex;
}

void TOptionScanner::MoveBlockIfOptionsFollow() {
  if (!BlockIsEmpty() && LastNonOption != OptionIndex)
    MoveBlockBehindOptions();
  else if (BlockIsEmpty())
    FirstNonOption = OptionIndex;
}

// Steps past non-options to the next option element; false when none is left.
bool TOptionScanner::FindOptionElement() {
  const int32_t Count = ArgumentCount();
  MoveBlockIfOptionsFollow();
  while (OptionIndex <= Count && IsNonOption(Argument(OptionIndex))) ++OptionIndex;
  LastNonOption = OptionIndex;
  if (OptionIndex <= Count && Argument(OptionIndex) == "--") {
    ++OptionIndex;
    MoveBlockIfOptionsFollow();
    LastNonOption = Count + 1;
    OptionIndex = Count + 1;
  }
  if (OptionIndex > Count) {
    if (!BlockIsEmpty()) OptionIndex = FirstNonOption;
    return false;
  }
  Position = 1;
  return true;
}

char TOptionScanner::Complain(std::ostream& Messages, const std::string& Message,
                              char Letter) const {
  Messages << Argument(0) << Message << Letter << std::endl;
  return '?';
}

// The rest of the current element after the letter just read, consumed with it.
std::string TOptionScanner::TakeRestOfElement() {
  std::string Rest = Argument(OptionIndex).substr(Position);
  ++OptionIndex;
  return Rest;
}

char TOptionScanner::Next(const std::string& OptionString, std::ostream& Messages) {
  FOptionArgument.clear();
  if (Position == 0 && !FindOptionElement()) return EndOfOptions;

  const std::string Element = Argument(OptionIndex);
  const char Letter = Element[Position++];
  if (Position == Element.size()) {
    ++OptionIndex;
    Position = 0;
  }
  const std::size_t Spec = OptionString.find(Letter);
  if (Letter == ':' || Spec == std::string::npos)
    return Complain(Messages, IllegalOptionText, Letter);
  const bool TakesArgument = OptionString.compare(Spec + 1, 1, ":") == 0;
  const bool ArgumentOptional = OptionString.compare(Spec + 1, 2, "::") == 0;
  if (!TakesArgument) return Letter;

  const bool InsideElement = Position != 0;
  if (InsideElement) {
    FOptionArgument = TakeRestOfElement();
  } else if (OptionIndex > ArgumentCount()) {
    if (!ArgumentOptional) return Complain(Messages, MissingArgumentText, Letter);
  } else if (!ArgumentOptional || Argument(OptionIndex)[0] != '-') {
    FOptionArgument = Argument(OptionIndex++);
  }
  Position = 0;
  return Letter;
}
