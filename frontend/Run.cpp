#include "frontend/Run.h"

#include "frontend/Arguments.h"
#include "frontend/Flows.h"
#include "frontend/OptionScanner.h"
#include "frontend/Options.h"

int RunQkl(int Argc, const char* const* Argv, TConsole& Console) {
  SetArguments(Argc, Argv);
  OptionIndex = 0;  // the scanner starts afresh on this command line
  if (const std::optional<int> Exit = ParseOptions(Console)) return *Exit;
  return RunMainFlow(Console);
}
