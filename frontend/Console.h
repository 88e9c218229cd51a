// Console output of the tool: everything goes to standard output.
#pragma once

#include <string>

void PrintLine(const std::string& Text);
// A single-character progress mark, shown at once.
void PrintMark(char Mark);
// Ends the process with Code once the output is out. Objects still alive (a link object
// and its open port) are left to the end of the process.
[[noreturn]] void ExitWith(int Code);
