#include "tests/support/QklRun.h"

#include <stdlib.h>

#include <climits>
#include <sstream>

#include "tests/support/InProcessRun.h"
#include "tests/support/RunProgram.h"

namespace simtest {

namespace {

std::vector<std::string> LinesOf(const std::string& Text) {
  std::vector<std::string> Lines;
  std::istringstream Stream(Text);
  for (std::string Line; std::getline(Stream, Line);) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    Lines.push_back(Line);
  }
  return Lines;
}

QklRun WithLines(ProgramResult Result) {
  std::vector<std::string> Lines = LinesOf(Result.Output);
  return {Result.ExitCode, std::move(Result.Output), std::move(Result.Errors), std::move(Lines)};
}

}  // namespace

QklRun RunQkl(const std::vector<std::string>& Arguments, const std::string& Input,
              std::chrono::milliseconds Timeout, const ErrorTerminal* Terminal) {
  return WithLines(RunProgram(QKL_PATH, Arguments, Input, Timeout, Terminal));
}

QklRun RunQklInProcess(const std::vector<std::string>& Arguments, const std::string& Input) {
  return WithLines(RunFrontEnd(Arguments, Input));
}

TimedRun RunQklTimed(const std::vector<std::string>& Arguments, std::chrono::milliseconds Timeout) {
  const auto Start = std::chrono::steady_clock::now();
  QklRun Run = RunQkl(Arguments, {}, Timeout);
  return {std::move(Run), std::chrono::steady_clock::now() - Start};
}

std::string QklPath() {
  char Resolved[PATH_MAX];
  return ::realpath(QKL_PATH, Resolved) ? Resolved : QKL_PATH;
}

std::string BannerText() {
  return "Orlas Quillkit Loader v0.07-pre1\r\nCompiled for i386 Win32 at 13:24:16 on 2010/04/28\n";
}

std::vector<std::string> Banner() { return LinesOf(BannerText()); }

std::vector<std::string> AfterBanner(const std::vector<std::string>& Lines) {
  std::vector<std::string> All = Banner();
  All.insert(All.end(), Lines.begin(), Lines.end());
  return All;
}

std::string UsageText() {
  return "Program Usage :- qkl (Options) <FileName>\n"
         "-d <filename> - Serial device to use (Default COM2)\n"
         "-p [123] - Program Mode\n"
         "    1 - Ram only (Default)\n"
         "    2 - Eeprom and shutdown\n"
         "    3 - Eeprom and Run\n"
         "-f Load at high speed\n"
         "-t Test mode (Undocumented)\n"
         "-l Test mode (Undocumented)\n"
         "-h  - Show this help\n"
         "-u Read Propellers EEPROM into file <FileName> - WARNING will overwrite it if it exists "
         "with no prompt!\n";
}

}  // namespace simtest
