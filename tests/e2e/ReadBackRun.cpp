#include "tests/e2e/ReadBackRun.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

namespace e2e {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder()
    : Folder(fs::temp_directory_path() / ("qkl-readback-" + std::to_string(::getpid()))) {
  fs::create_directories(Folder);
}

ScratchFolder::~ScratchFolder() {
  std::error_code Ignored;
  fs::remove_all(Folder, Ignored);
}

bool EmulatorKeepsUpWithTheHost() {
#ifdef QKL_SANITIZED_BUILD
  return false;
#else
  return true;
#endif
}

std::vector<std::string> RateArguments(bool FastLink) {
  return FastLink ? std::vector<std::string>{"-f"} : std::vector<std::string>{};
}

TimedRun ReadBack(const std::string& Port, bool FastLink, const std::string& FileName) {
  std::vector<std::string> Arguments = RateArguments(FastLink);
  Arguments.insert(Arguments.end(), {"-d", Port, "-u", FileName});
  const auto Start = std::chrono::steady_clock::now();
  TimedRun Timed;
  Timed.Run = RunQkl(Arguments);
  Timed.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  return Timed;
}

sim::ChipSettings ChipWithEeprom(const std::string& EepromPath, double ClockMhz) {
  sim::ChipSettings Settings;
  Settings.Instant = true;
  Settings.EepromPath = EepromPath;
  Settings.ClockHz = ClockMhz * 1e6;
  return Settings;
}

std::vector<uint8_t> FileBytes(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

std::string TimingReportOfLastProgram(const simtest::ChipLogRecord& Log) {
  const std::vector<std::string> Lines = Log.Lines();
  for (std::size_t Index = Lines.size(); Index-- > 1;)
    if (Lines[Index - 1].find("the program stopped the chip's clock") != std::string::npos) return Lines[Index];
  return {};
}

}  // namespace e2e
