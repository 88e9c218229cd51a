#include "frontend/Arguments.h"

#include "frontend/ProgramPath.h"

std::vector<std::string> ProgramArguments(int Argc, const char* const* Argv) {
  std::vector<std::string> Arguments(Argv, Argv + Argc);
  if (Arguments.empty()) Arguments.emplace_back();
  const std::string Program = RunningProgramPath();
  if (!Program.empty()) Arguments[0] = Program;
  return Arguments;
}
