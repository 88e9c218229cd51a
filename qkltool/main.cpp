// Entry point of qkl-tool. An error that nothing below handles is reported on standard error and
// ends the process with its own exit code.
#include <exception>
#include <iostream>

#include "console/Terminal.h"
#include "qkltool/CommandLine.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/Messages.h"

int main(int Argc, char** Argv) {
  try {
    TMessages Messages(std::cerr, StandardErrorTerminal());
    return RunToolCommand(Argc, Argv, std::cout, Messages);
  } catch (const std::exception& Error) {
    std::cerr << "qkl-tool: unexpected error: " << Error.what() << std::endl;
  } catch (...) {
    std::cerr << "qkl-tool: unexpected error" << std::endl;
  }
  return ExitUnhandledError;
}
