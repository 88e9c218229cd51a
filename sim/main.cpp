// qkl-sim: a virtual Propeller 1 on a pseudo-terminal.
#include <signal.h>  // NOLINT(modernize-deprecated-headers): sigaction is POSIX, not C++
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/SimOptions.h"
#include "sim/VirtualChip.h"

namespace qkl::sim {
namespace {

VirtualChip* runningChip = nullptr;

void StopOnSignal(int) {
  if (runningChip) runningChip->Stop();
}

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = StopOnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void LogToStderr(const std::string& line) {
  static const auto kStart = Clock::now();
  const double seconds = std::chrono::duration<double>(Clock::now() - kStart).count();
  std::fprintf(stderr, "qkl-sim %9.3f s  %s\n", seconds, line.c_str());
}

// A symbolic link to the slave side for as long as the chip runs; it is removed only while it
// still points there.
class SlaveLink {
 public:
  SlaveLink(std::string linkPath, std::string target)
      : linkPath_(std::move(linkPath)), target_(std::move(target)) {
    std::error_code error;
    if (!linkPath_.empty()) std::filesystem::create_symlink(target_, linkPath_, error);
    if (error)
      throw std::runtime_error("cannot make the link " + linkPath_ + ": " + error.message());
  }
  ~SlaveLink() {
    std::error_code error;
    if (!linkPath_.empty() && std::filesystem::read_symlink(linkPath_, error) == target_)
      std::filesystem::remove(linkPath_, error);
  }
  SlaveLink(const SlaveLink&) = delete;
  SlaveLink& operator=(const SlaveLink&) = delete;

 private:
  std::string linkPath_;
  std::string target_;
};

// Runs the chip on the command line's arguments (without the program name) until a stop signal;
// returns the exit code.
int RunVirtualChip(const std::vector<std::string>& arguments) {
  SimOptions options;
  const std::string error = ParseSimOptions(arguments, options);
  if (!error.empty()) {
    std::fprintf(stderr, "qkl-sim: %s\n%s", error.c_str(), SimUsage());
    return 1;
  }
  if (options.help) {
    std::fputs(SimUsage(), stdout);
    return 0;
  }
  try {
    VirtualChip chip(options.chip, options.log ? ChipLog(LogToStderr) : ChipLog());
    runningChip = &chip;
    CatchStopSignals();
    const SlaveLink link(options.linkPath, chip.SlavePath());
    std::cout << chip.SlavePath() << std::endl;
    chip.Run();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "qkl-sim: %s\n", failure.what());
    return 2;
  }
  return 0;
}

}  // namespace
}  // namespace qkl::sim

int main(int argc, char** argv) { return qkl::sim::RunVirtualChip({argv + 1, argv + argc}); }
