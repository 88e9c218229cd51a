#include "tests/e2e/QklRun.h"

#include <sstream>

#include "tests/support/RunProgram.h"

namespace e2e {

QklRun RunQkl(const std::vector<std::string>& Arguments, const std::string& Input,
              std::chrono::milliseconds Timeout) {
  const simtest::ProgramResult Result = simtest::RunProgram(QKL_PATH, Arguments, Input, Timeout);
  QklRun Run{Result.ExitCode, Result.Output, {}};
  std::istringstream Text(Result.Output);
  for (std::string Line; std::getline(Text, Line);) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    Run.Lines.push_back(Line);
  }
  return Run;
}

std::vector<std::string> Banner() {
  return {"Orlas Quillkit Loader v0.07-pre1", "Compiled for i386 Win32 at 13:24:16 on 2010/04/28"};
}

std::vector<std::string> AfterBanner(const std::vector<std::string>& Lines) {
  std::vector<std::string> All = Banner();
  All.insert(All.end(), Lines.begin(), Lines.end());
  return All;
}

}  // namespace e2e
