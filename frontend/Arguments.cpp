#include "frontend/Arguments.h"

#include "frontend/ProgramPath.h"

namespace {
std::vector<std::string> Arguments{""};
}

void SetArguments(int Argc, const char* const* Argv) {
  Arguments.assign(Argv, Argv + Argc);
  if (Arguments.empty()) Arguments.emplace_back();
  const std::string Program = RunningProgramPath();
  if (!Program.empty()) Arguments[0] = Program;
}

int32_t ArgumentCount() { return static_cast<int32_t>(Arguments.size()) - 1; }

std::string Argument(int32_t Index) {
  if (Index < 0 || Index > ArgumentCount()) return {};
  return Arguments[static_cast<std::size_t>(Index)];
}

std::vector<std::string>& ArgumentVector() { return Arguments; }
