// Where a run of the tool writes. Standard output carries everything scripts read: the banner,
// messages, progress marks and statistics. Standard input holds the file-list test's list when
// no list file is named.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>

class TConsole {
public:
  TConsole(std::FILE* In, std::ostream& Out, std::ostream& Err);
  TConsole(const TConsole&) = delete;
  TConsole& operator=(const TConsole&) = delete;

  void PrintLine(const std::string& Text);
  // A single-character progress mark, shown at once.
  void PrintMark(char Mark);

  std::FILE* const In;
  std::ostream& Out;
  std::ostream& Err;
};
