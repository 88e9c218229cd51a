// Entry point of qkl: the run on the process's console, with a progress line when standard
// error is a terminal. An error that nothing below handles is reported on standard output and
// ends the process with exit code 217.
#include <cstdio>
#include <iostream>

#include "frontend/Console.h"
#include "frontend/ExitCodes.h"
#include "frontend/Run.h"
#include "console/Terminal.h"
#include "frontend/UnhandledError.h"

int main(int Argc, char** Argv) {
  try {
    TConsole Console(stdin, std::cout, std::cerr, StandardErrorTerminal());
    return RunQkl(Argc, Argv, Console);
  } catch (...) {
    std::cout << UnhandledErrorReport() << std::endl;
    return ExitUnhandledError;
  }
}
