// Argument vectors through the option scanner, the way ParseOptions drives it. The input is
// split at zero bytes into the arguments behind the program path.
#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "FuzzFailure.h"
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

bool IsKnownLetter(char Letter) {
  return Letter != ':' && OptionString.find(Letter) != std::string::npos;
}

std::vector<std::string> SortedArguments(std::vector<std::string> Elements) {
  std::sort(Elements.begin() + 1, Elements.end());
  return Elements;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::vector<std::string> Before = SplitAtZeros(Data, Size);
  TOptionScanner Scanner(Before);
  // Every call consumes at least one letter or one element.
  size_t Budget = Size + 2;
  std::ostream Complaints(nullptr);  // the scanner's messages are not looked at here
  for (char Letter = Scanner.Next(OptionString, Complaints); Letter != EndOfOptions;
       Letter = Scanner.Next(OptionString, Complaints)) {
    Require(Budget-- > 0, "the scanner ends");
    Require(Letter == '?' || IsKnownLetter(Letter), "only listed letters are returned");
  }
  const int32_t Count = Scanner.ArgumentCount();
  Require(Scanner.Index() >= 1 && Scanner.Index() <= Count + 1, "the index ends inside 1..n+1");
  Require(Scanner.Arguments()[0] == Before[0], "the program path stays in place");
  Require(SortedArguments(Scanner.Arguments()) == SortedArguments(Before),
          "the arguments are only reordered");
  return 0;
}
