#include "tests/support/ChipFixture.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/RunProgram.h"

namespace simtest {

void ChipLogRecord::Add(const std::string& Line) {
  {
    std::lock_guard Guard(Lock);
    Collected.push_back(Line);
  }
  Changed.notify_all();
}

std::vector<std::string> ChipLogRecord::Lines() const {
  std::lock_guard Guard(Lock);
  return Collected;
}

std::string ChipLogRecord::WaitFor(const std::string& Part,
                                   std::chrono::milliseconds Timeout) const {
  return WaitForAfter({}, Part, Timeout);
}

std::string ChipLogRecord::WaitForAfter(const std::string& Earlier, const std::string& Part,
                                        std::chrono::milliseconds Timeout) const {
  std::unique_lock Guard(Lock);
  std::string Found;
  Changed.wait_for(Guard, Timeout, [&] {
    std::size_t From = 0;
    for (std::size_t Index = 0; !Earlier.empty() && Index < Collected.size(); ++Index)
      if (Collected[Index].find(Earlier) != std::string::npos) From = Index + 1;
    for (std::size_t Index = From; Index < Collected.size(); ++Index)
      if (Collected[Index].find(Part) != std::string::npos) {
        Found = Collected[Index];
        return true;
      }
    return false;
  });
  return Found;
}

int ChipLogRecord::CountOf(const std::string& Part) const {
  std::lock_guard Guard(Lock);
  int Count = 0;
  for (const std::string& Line : Collected) Count += Line.find(Part) != std::string::npos;
  return Count;
}

std::string ChipLogRecord::Text() const {
  std::lock_guard Guard(Lock);
  std::string All;
  for (const std::string& Line : Collected) All += Line + "\n";
  return All;
}

void AwaitPowerOnReset(const ChipLogRecord& Log, std::chrono::milliseconds Timeout) {
  if (!Log.WaitFor("reset", Timeout).empty()) return;
  throw std::runtime_error("the virtual chip logged no power-on \"reset\" within " +
                           std::to_string(Timeout.count()) +
                           " ms, so it is not listening; its log: " + Log.Text());
}

ThreadChip::ThreadChip(const qkl::sim::ChipSettings& Settings, qkl::sim::ImageRunner* Runner)
    : Chip(
          Settings, [this](const std::string& Line) { Record.Add(Line); }, Runner),
      Server([this] { Chip.Run(); }) {
  // The server thread logs the power-on reset as it starts serving the line.
  try {
    AwaitPowerOnReset(Record, std::chrono::seconds(10));
  } catch (...) {
    Stop();
    throw;
  }
}

ThreadChip::~ThreadChip() { Stop(); }

void ThreadChip::Stop() {
  if (!Server.joinable()) return;
  Chip.Stop();
  Server.join();
}

std::string QklSimPath() { return QKL_SIM_PATH; }

ProcessChip::ProcessChip(const std::vector<std::string>& Arguments) {
  std::vector<std::string> All = Arguments;
  All.push_back("--log");
  ChildProcess Child = StartProgram(QklSimPath(), All);
  Pid = Child.Pid;
  ::close(Child.Input);
  const std::string FirstLine = ReadLine(Child.Output, std::chrono::seconds(10));
  ::close(Child.Output);
  const int Errors = Child.Errors;
  LogReader = std::thread([this, Errors] {
    for (std::string Line; !(Line = ReadLine(Errors, std::chrono::hours(1))).empty();) {
      const std::size_t Text = Line.find(" s  ");
      Record.Add(Text == std::string::npos ? Line : Line.substr(Text + 4));
    }
    ::close(Errors);
  });
  if (FirstLine.empty()) {
    Stop();
    throw std::runtime_error("qkl-sim printed no slave path; its log: " + Record.Text());
  }
  Path = FirstLine;
}

ProcessChip::~ProcessChip() { Stop(); }

void ProcessChip::Stop() {
  if (Pid < 0) return;
  ::kill(Pid, SIGTERM);
  // A qkl-sim that does not end on SIGTERM fails the test instead of hanging it.
  for (int Wait = 0; Wait < 1000 && ::waitpid(Pid, &Status, WNOHANG) == 0; ++Wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (::waitpid(Pid, &Status, WNOHANG) == 0) {
    ::kill(Pid, SIGKILL);
    ::waitpid(Pid, &Status, 0);
  }
  Pid = -1;
  if (LogReader.joinable()) LogReader.join();
}

}  // namespace simtest
