#include "frontend/OptionScanner.h"

#include <algorithm>

#include "frontend/Arguments.h"

int32_t OptionIndex = 0;
std::string OptionArgument;

namespace {

std::size_t Position = 0;  // inside a group of letters such as -ft; 0 between elements
int32_t FirstNonOption = 1;
int32_t LastNonOption = 1;

bool IsNonOption(const std::string& Element) {
  return Element.empty() || Element[0] != '-' || Element == "-";
}

bool BlockIsEmpty() { return FirstNonOption == LastNonOption; }

// Moves the block of non-options passed over so far behind the options consumed after it,
// each group keeping its order.
void MoveBlockBehindOptions() {
  auto& Elements = ArgumentVector();
  std::rotate(Elements.begin() + FirstNonOption, Elements.begin() + LastNonOption,
              Elements.begin() + OptionIndex);
  FirstNonOption += OptionIndex - LastNonOption;
  LastNonOption = OptionIndex;
}

void MoveBlockIfOptionsFollow() {
  if (!BlockIsEmpty() && LastNonOption != OptionIndex)
    MoveBlockBehindOptions();
  else if (BlockIsEmpty())
    FirstNonOption = OptionIndex;
}

// Steps past non-options to the next option element; false when none is left.
bool FindOptionElement() {
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

char Complain(std::ostream& Messages, const std::string& Message, char Letter) {
  Messages << Argument(0) << Message << Letter << std::endl;
  return '?';
}

// The rest of the current element after the letter just read, consumed with it.
std::string TakeRestOfElement() {
  std::string Rest = Argument(OptionIndex).substr(Position);
  ++OptionIndex;
  return Rest;
}

}  // namespace

char NextOption(const std::string& OptionString, std::ostream& Messages) {
  if (OptionIndex == 0) {
    OptionIndex = 1;
    FirstNonOption = LastNonOption = 1;
    Position = 0;
  }
  OptionArgument.clear();
  if (Position == 0 && !FindOptionElement()) return EndOfOptions;

  const std::string Element = Argument(OptionIndex);
  const char Letter = Element[Position++];
  if (Position == Element.size()) {
    ++OptionIndex;
    Position = 0;
  }
  const std::size_t Spec = OptionString.find(Letter);
  if (Letter == ':' || Spec == std::string::npos)
    return Complain(Messages, ": illegal option -- ", Letter);
  const bool TakesArgument = OptionString.compare(Spec + 1, 1, ":") == 0;
  const bool ArgumentOptional = OptionString.compare(Spec + 1, 2, "::") == 0;
  if (!TakesArgument) return Letter;

  const bool InsideElement = Position != 0;
  if (InsideElement) {
    OptionArgument = TakeRestOfElement();
  } else if (OptionIndex > ArgumentCount()) {
    if (!ArgumentOptional) return Complain(Messages, ": option requires an argument -- ", Letter);
  } else if (!ArgumentOptional || Argument(OptionIndex)[0] != '-') {
    OptionArgument = Argument(OptionIndex++);
  }
  Position = 0;
  return Letter;
}
