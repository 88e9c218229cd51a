#include "frontend/Run.h"

#include "frontend/Arguments.h"
#include "frontend/Flows.h"
#include "frontend/OptionScanner.h"
#include "frontend/Options.h"

int RunQkl(int Argc, const char* const* Argv, TConsole& Console) {
  TOptionScanner Scanner(ProgramArguments(Argc, Argv));
  const TParsedOptions Parsed = ParseOptions(Scanner, Console);
  if (Parsed.Exit) return *Parsed.Exit;
  return RunMainFlow(Parsed.Settings, Console);
}
