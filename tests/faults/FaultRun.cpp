#include "tests/faults/FaultRun.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/support/WireDecoder.h"

namespace faults {

namespace fs = std::filesystem;

namespace {
constexpr std::uintmax_t WholeFileLimit = 1 << 20;
}

WorkFolder::WorkFolder() {
  static int Count = 0;
  Root = fs::temp_directory_path() /
         ("qkl-faults-" + std::to_string(::getpid()) + "-" + std::to_string(++Count));
  fs::create_directories(Root);
}

WorkFolder::~WorkFolder() {
  std::error_code Ignored;
  fs::remove_all(Root, Ignored);
}

std::string WorkFolder::Path(const std::string& Name) const { return (Root / Name).string(); }

std::string WorkFolder::Write(const std::string& Name, const std::vector<uint8_t>& Bytes) const {
  simtest::WriteFile(Path(Name), Bytes);
  return Path(Name);
}

Snapshot WorkFolder::Files() const {
  Snapshot Found;
  for (const auto& Entry : fs::recursive_directory_iterator(Root)) {
    if (!Entry.is_regular_file()) continue;
    std::string& Known = Found[fs::relative(Entry.path(), Root).string()];
    if (Entry.file_size() > WholeFileLimit) {
      Known = std::to_string(Entry.file_size()) + " bytes written at " +
              std::to_string(Entry.last_write_time().time_since_epoch().count());
      continue;
    }
    std::ifstream In(Entry.path(), std::ios::binary);
    std::ostringstream Contents;
    Contents << In.rdbuf();
    Known = Contents.str();
  }
  return Found;
}

TimedRun RunTimed(const std::vector<std::string>& Arguments, std::chrono::milliseconds Bound) {
  const auto Start = std::chrono::steady_clock::now();
  // Twice the bound before the run is killed, so that an overrun shows as one.
  e2e::QklRun Run = e2e::RunQkl(Arguments, {}, 2 * Bound);
  const auto Took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Start);
  return {std::move(Run), Took};
}

}  // namespace faults
