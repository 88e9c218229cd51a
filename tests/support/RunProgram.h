// Running a built program as a user would: arguments, standard input, its output and exit code.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace simtest {

struct ChildProcess {
  pid_t Pid;
  int Input;   // the child's standard input, for writing
  int Output;  // its standard output, for reading
  int Errors;  // its standard error, for reading
};

// Throws std::runtime_error when the program cannot be started. With ErrorsTo given, the child's
// standard error is that descriptor (a terminal, say) instead of a pipe, and Errors is -1.
ChildProcess StartProgram(const std::string& Program, const std::vector<std::string>& Arguments,
                          int ErrorsTo = -1);

// One line without its line end; empty at the end of the stream or when Timeout passes first.
std::string ReadLine(int Fd, std::chrono::milliseconds Timeout);

struct ProgramResult {
  int ExitCode = -1;  // -1 when it did not exit by itself within the time allowed
  std::string Output;
  std::string Errors;
};

// A pseudo-terminal for the child's standard error: the child gets the slave side, which the run
// closes in this process once the child has it; Errors is what came out of the master side.
struct ErrorTerminal {
  int Master;
  int Slave;
};

// Runs the program to its end with Input on its standard input; a program still running after
// Timeout is killed.
ProgramResult RunProgram(const std::string& Program, const std::vector<std::string>& Arguments,
                         const std::string& Input = {},
                         std::chrono::milliseconds Timeout = std::chrono::seconds(120),
                         const ErrorTerminal* Terminal = nullptr);

}  // namespace simtest
