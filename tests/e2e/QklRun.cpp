#include "tests/e2e/QklRun.h"

#include <sstream>

#include "tests/support/InProcessRun.h"
#include "tests/support/RunProgram.h"

namespace e2e {

namespace {

QklRun SplitIntoLines(const simtest::ProgramResult& Result) {
  QklRun Run{Result.ExitCode, Result.Output, {}, Result.Errors};
  std::istringstream Text(Result.Output);
  for (std::string Line; std::getline(Text, Line);) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    Run.Lines.push_back(Line);
  }
  return Run;
}

}  // namespace

QklRun RunQkl(const std::vector<std::string>& Arguments, const std::string& Input,
              std::chrono::milliseconds Timeout, const simtest::ErrorTerminal* Terminal) {
  return SplitIntoLines(simtest::RunProgram(QKL_PATH, Arguments, Input, Timeout, Terminal));
}

QklRun RunQklInProcess(const std::vector<std::string>& Arguments, const std::string& Input) {
  return SplitIntoLines(simtest::RunQklInProcess(Arguments, Input));
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
