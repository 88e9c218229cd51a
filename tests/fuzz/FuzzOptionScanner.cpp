// Argument vectors through the option scanner, the way ParseOptions drives it. The input is
// split at zero bytes into the arguments behind the program path.
#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "FuzzFailure.h"
#include "frontend/Arguments.h"
#include "frontend/OptionScanner.h"

namespace {
const std::string OptionString = "hp:d:ftlv::u";

std::vector<std::string> SplitAtZeros(const uint8_t* Data, size_t Size) {
  std::vector<std::string> Parts{"qkl"};
  std::string Part;
  for (size_t At = 0; At < Size; ++At) {
    if (Data[At] == 0) {
      Parts.push_back(Part);
      Part.clear();
    } else {
      Part.push_back(static_cast<char>(Data[At]));
    }
  }
  if (Size > 0) Parts.push_back(Part);
  return Parts;
}

void SetVector(const std::vector<std::string>& Parts) {
  std::vector<const char*> Pointers;
  for (const auto& Part : Parts) Pointers.push_back(Part.c_str());
  SetArguments(static_cast<int>(Pointers.size()), Pointers.data());
}

bool IsKnownLetter(char Letter) {
  return Letter != ':' && OptionString.find(Letter) != std::string::npos;
}

std::vector<std::string> SortedArguments(std::vector<std::string> Elements) {
  std::sort(Elements.begin() + 1, Elements.end());
  return Elements;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  SetVector(SplitAtZeros(Data, Size));
  const std::vector<std::string> Before = ArgumentVector();
  // Every call consumes at least one letter or one element.
  size_t Budget = Size + 2;
  OptionIndex = 0;
  std::ostream Complaints(nullptr);  // the scanner's messages are not looked at here
  for (char Letter = NextOption(OptionString, Complaints); Letter != EndOfOptions;
       Letter = NextOption(OptionString, Complaints)) {
    Require(Budget-- > 0, "the scanner ends");
    Require(Letter == '?' || IsKnownLetter(Letter), "only listed letters are returned");
  }
  const int32_t Count = ArgumentCount();
  Require(OptionIndex >= 1 && OptionIndex <= Count + 1, "the index ends inside 1..n+1");
  Require(ArgumentVector()[0] == Before[0], "the program path stays in place");
  Require(SortedArguments(ArgumentVector()) == SortedArguments(Before),
          "the arguments are only reordered");
  return 0;
}
