#include "tests/support/RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace simtest {

namespace {

using Steady = std::chrono::steady_clock;

int MillisecondsLeft(Steady::time_point Until) {
  const auto Left =
      std::chrono::duration_cast<std::chrono::milliseconds>(Until - Steady::now()).count();
  return Left < 0 ? 0 : static_cast<int>(Left);
}

// Reads what is there into Into; false at the end of the stream.
bool ReadSome(int Fd, std::string& Into) {
  char Buffer[4096];
  const ssize_t Got = ::read(Fd, Buffer, sizeof Buffer);
  if (Got > 0) Into.append(Buffer, Got);
  return Got > 0 || (Got < 0 && errno == EINTR);
}

}  // namespace

ChildProcess StartProgram(const std::string& Program, const std::vector<std::string>& Arguments,
                          int ErrorsTo) {
  int Pipes[3][2];
  for (auto& Pipe : Pipes)
    if (::pipe2(Pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (ErrorsTo >= 0) {
    ::close(Pipes[2][0]);
    ::close(Pipes[2][1]);
    Pipes[2][0] = -1;
    Pipes[2][1] = ErrorsTo;
  }
  std::vector<char*> Argv{const_cast<char*>(Program.c_str())};
  for (const std::string& Each : Arguments) Argv.push_back(const_cast<char*>(Each.c_str()));
  Argv.push_back(nullptr);
  const pid_t Pid = ::fork();
  if (Pid < 0) throw std::runtime_error("fork failed");
  if (Pid == 0) {
    ::dup2(Pipes[0][0], 0);
    ::dup2(Pipes[1][1], 1);
    ::dup2(Pipes[2][1], 2);
    ::execv(Program.c_str(), Argv.data());
    ::_exit(127);
  }
  ::close(Pipes[0][0]);
  ::close(Pipes[1][1]);
  if (ErrorsTo < 0) ::close(Pipes[2][1]);
  return ChildProcess{Pid, Pipes[0][1], Pipes[1][0], Pipes[2][0]};
}

std::string ReadLine(int Fd, std::chrono::milliseconds Timeout) {
  const auto Until = Steady::now() + Timeout;
  std::string Line;
  char Byte = 0;
  for (;;) {
    pollfd Ready{Fd, POLLIN, 0};
    if (::poll(&Ready, 1, MillisecondsLeft(Until)) <= 0) return Line;
    if (::read(Fd, &Byte, 1) != 1 || Byte == '\n') return Line;
    Line += Byte;
  }
}

ProgramResult RunProgram(const std::string& Program, const std::vector<std::string>& Arguments,
                         const std::string& Input, std::chrono::milliseconds Timeout,
                         const ErrorTerminal* Terminal) {
  ChildProcess Child = StartProgram(Program, Arguments, Terminal ? Terminal->Slave : -1);
  if (Terminal) {
    ::close(Terminal->Slave);  // the master ends with the child's last descriptor of the slave
    Child.Errors = Terminal->Master;
  }
  ::signal(SIGPIPE, SIG_IGN);
  if (!Input.empty()) [[maybe_unused]]
    const ssize_t Written = ::write(Child.Input, Input.data(), Input.size());
  ::close(Child.Input);
  ProgramResult Result;
  const auto Until = Steady::now() + Timeout;
  bool OutputOpen = true;
  bool ErrorsOpen = true;
  while ((OutputOpen || ErrorsOpen) && MillisecondsLeft(Until) > 0) {
    pollfd Ready[2] = {{OutputOpen ? Child.Output : -1, POLLIN, 0},
                       {ErrorsOpen ? Child.Errors : -1, POLLIN, 0}};
    if (::poll(Ready, 2, MillisecondsLeft(Until)) <= 0) continue;
    if (Ready[0].revents) OutputOpen = ReadSome(Child.Output, Result.Output);
    if (Ready[1].revents) ErrorsOpen = ReadSome(Child.Errors, Result.Errors);
  }
  if (OutputOpen || ErrorsOpen) ::kill(Child.Pid, SIGKILL);
  int Status = 0;
  ::waitpid(Child.Pid, &Status, 0);
  ::close(Child.Output);
  if (!Terminal) ::close(Child.Errors);
  if (!OutputOpen && !ErrorsOpen && WIFEXITED(Status)) Result.ExitCode = WEXITSTATUS(Status);
  return Result;
}

}  // namespace simtest
