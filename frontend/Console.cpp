#include "frontend/Console.h"

TConsole::TConsole(std::FILE* In, std::ostream& Out, std::ostream& Err) : In(In), Out(Out), Err(Err) {}

void TConsole::PrintLine(const std::string& Text) { Out << Text << std::endl; }

void TConsole::PrintMark(char Mark) { Out << Mark << std::flush; }
