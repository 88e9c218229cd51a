// qkl-sim: a virtual Propeller 1 on a pseudo-terminal.
#include <signal.h>  // NOLINT(modernize-deprecated-headers): sigaction is POSIX, not C++
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "sim/SimOptions.h"
#include "sim/VirtualChip.h"

namespace {

sim::VirtualChip* RunningChip = nullptr;

void StopOnSignal(int) {
  if (RunningChip) RunningChip->Stop();
}

void CatchStopSignals() {
  struct sigaction Action {};
  Action.sa_handler = StopOnSignal;
  sigemptyset(&Action.sa_mask);
  sigaction(SIGINT, &Action, nullptr);
  sigaction(SIGTERM, &Action, nullptr);
}

void LogToStderr(const std::string& Line) {
  static const auto Start = sim::Clock::now();
  const double Seconds = std::chrono::duration<double>(sim::Clock::now() - Start).count();
  std::fprintf(stderr, "qkl-sim %9.3f s  %s\n", Seconds, Line.c_str());
}

// A symbolic link to the slave side for as long as the chip runs; it is removed only while it
// still points there.
class SlaveLink {
public:
  SlaveLink(std::string LinkPath, std::string Target)
      : LinkPath(std::move(LinkPath)), Target(std::move(Target)) {
    std::error_code Error;
    if (!this->LinkPath.empty())
      std::filesystem::create_symlink(this->Target, this->LinkPath, Error);
    if (Error)
      throw std::runtime_error("cannot make the link " + this->LinkPath + ": " + Error.message());
  }
  ~SlaveLink() {
    std::error_code Error;
    if (!LinkPath.empty() && std::filesystem::read_symlink(LinkPath, Error) == Target)
      std::filesystem::remove(LinkPath, Error);
  }
  SlaveLink(const SlaveLink&) = delete;
  SlaveLink& operator=(const SlaveLink&) = delete;

private:
  std::string LinkPath;
  std::string Target;
};

}  // namespace

int main(int argc, char** argv) {
  sim::SimOptions Options;
  const std::string Error = sim::ParseSimOptions({argv + 1, argv + argc}, Options);
  if (!Error.empty()) {
    std::fprintf(stderr, "qkl-sim: %s\n%s", Error.c_str(), sim::SimUsage());
    return 1;
  }
  if (Options.Help) {
    std::fputs(sim::SimUsage(), stdout);
    return 0;
  }
  try {
    sim::VirtualChip Chip(Options.Chip, Options.Log ? sim::ChipLog(LogToStderr) : sim::ChipLog());
    RunningChip = &Chip;
    CatchStopSignals();
    const SlaveLink Link(Options.LinkPath, Chip.SlavePath());
    std::cout << Chip.SlavePath() << std::endl;
    Chip.Run();
  } catch (const std::exception& Failure) {
    std::fprintf(stderr, "qkl-sim: %s\n", Failure.what());
    return 2;
  }
  return 0;
}
