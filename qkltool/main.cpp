// Entry point of qkl-tool. An error that nothing below handles is reported on standard error and
// ends the process with its own exit code.
#include <exception>
#include <iostream>

#include "console/Terminal.h"
#include "qkltool/CommandLine.h"
#include "qkltool/ExitCodes.h"
#include "qkltool/Messages.h"

namespace {
constexpr const char* UnexpectedHint =
    "qkl-tool: hint: this is a fault of qkl-tool; please report it with the command line that "
    "led to it";
}  // namespace

int main(int Argc, char** Argv) {
  try {
    TMessages Messages(std::cerr, StandardErrorTerminal());
    return RunToolCommand(Argc, Argv, std::cout, Messages);
  } catch (const std::exception& Error) {
    std::cerr << "qkl-tool: unexpected error: " << Error.what() << '\n'
              << UnexpectedHint << std::endl;
  } catch (...) {
    std::cerr << "qkl-tool: unexpected error\n" << UnexpectedHint << std::endl;
  }
  return ExitUnhandledError;
}
