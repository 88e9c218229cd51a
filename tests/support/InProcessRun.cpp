#include "tests/support/InProcessRun.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "frontend/Console.h"
#include "frontend/Run.h"

namespace simtest {

namespace {

using TFile = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// A stream that reads Text; an empty text gives one at its end at once.
TFile InputReading(std::string& Text) {
  std::FILE* File =
      Text.empty() ? std::fopen("/dev/null", "r") : ::fmemopen(Text.data(), Text.size(), "r");
  if (!File) throw std::runtime_error("no input stream for the run");
  return TFile(File, &std::fclose);
}

}  // namespace

ProgramResult RunFrontEnd(const std::vector<std::string>& Arguments, const std::string& Input) {
  std::vector<const char*> Argv{"qkl"};
  for (const std::string& Each : Arguments) Argv.push_back(Each.c_str());
  std::string InputText = Input;
  const TFile In = InputReading(InputText);
  std::ostringstream Out;
  std::ostringstream Err;
  TConsole Console(In.get(), Out, Err);
  ProgramResult Result;
  Result.ExitCode = RunQkl(static_cast<int>(Argv.size()), Argv.data(), Console);
  Result.Output = Out.str();
  Result.Errors = Err.str();
  return Result;
}

}  // namespace simtest
