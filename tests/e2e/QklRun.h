// qkl run as a user runs it, or inside the test process, with its output split into lines.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

namespace e2e {

struct QklRun {
  int ExitCode = -1;
  std::string Output;
  std::vector<std::string> Lines;  // the output split at line ends, a CR before one dropped
  std::string Errors;              // standard error
};

// A run still going after Timeout is killed and fails with exit code -1. Standard error goes to a
// pipe, or to Terminal.
QklRun RunQkl(const std::vector<std::string>& Arguments, const std::string& Input = {},
              std::chrono::milliseconds Timeout = std::chrono::minutes(2),
              const simtest::ErrorTerminal* Terminal = nullptr);
// The same run inside the test process.
QklRun RunQklInProcess(const std::vector<std::string>& Arguments, const std::string& Input = {});

// The two banner lines every run prints first.
std::vector<std::string> Banner();
// Banner() followed by Lines.
std::vector<std::string> AfterBanner(const std::vector<std::string>& Lines);

constexpr const char* NoFileName = "No filename specified - will only try and find device";

}  // namespace e2e
