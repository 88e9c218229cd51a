#include "frontend/Console.h"

#include <cstdlib>
#include <iostream>

void PrintLine(const std::string& Text) { std::cout << Text << std::endl; }

void PrintMark(char Mark) { std::cout << Mark << std::flush; }

void ExitWith(int Code) {
  std::cout.flush();
  std::exit(Code);
}
