// Entry point of qkl: options, then the main flow. An error that nothing below handles is
// reported on standard output and ends the process with exit code 217.
#include "frontend/Arguments.h"
#include "frontend/Console.h"
#include "frontend/Flows.h"
#include "frontend/Options.h"
#include "frontend/UnhandledError.h"

int main(int Argc, char** Argv) {
  try {
    SetArguments(Argc, Argv);
    ParseOptions();
    RunMainFlow();
  } catch (...) {
    PrintLine(UnhandledErrorReport());
    return 217;
  }
}
