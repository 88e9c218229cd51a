// The built qkl run as a user runs it, and the texts that every run of it shares.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

namespace simtest {

struct QklRun {
  int ExitCode = -1;  // -1 when it was killed for running too long
  std::string Output;
  std::string Errors;
  std::vector<std::string> Lines;  // the output split at line ends, a CR before one dropped
};

// A run still going after Timeout is killed and fails with exit code -1. Standard error goes to a
// pipe, or to Terminal.
QklRun RunQkl(const std::vector<std::string>& Arguments, const std::string& Input = {},
              std::chrono::milliseconds Timeout = std::chrono::minutes(2),
              const ErrorTerminal* Terminal = nullptr);
// The same run inside the test process.
QklRun RunQklInProcess(const std::vector<std::string>& Arguments, const std::string& Input = {});

struct TimedRun {
  QklRun Run;
  std::chrono::duration<double> Took{};  // wall time, start to end
};

TimedRun RunQklTimed(const std::vector<std::string>& Arguments,
                     std::chrono::milliseconds Timeout = std::chrono::minutes(2));

// The built qkl with its links resolved, as it names itself in its messages.
std::string QklPath();

// The banner every run prints first, as it prints it, and its two lines.
std::string BannerText();
std::vector<std::string> Banner();
// Banner() followed by Lines.
std::vector<std::string> AfterBanner(const std::vector<std::string>& Lines);
std::string UsageText();

constexpr const char* NoFileName = "No filename specified - will only try and find device";
constexpr const char* Found = "Propeller Version 1 Found!";

}  // namespace simtest
