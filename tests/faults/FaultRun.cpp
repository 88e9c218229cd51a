#include "tests/faults/FaultRun.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace faults {

namespace fs = std::filesystem;

namespace {
constexpr std::uintmax_t WholeFileLimit = 1 << 20;
}

Snapshot FilesIn(const simtest::TempFolder& Folder) {
  Snapshot Found;
  for (const auto& Entry : fs::recursive_directory_iterator(Folder.Root())) {
    if (!Entry.is_regular_file()) continue;
    std::string& Known = Found[fs::relative(Entry.path(), Folder.Root()).string()];
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

simtest::TimedRun RunTimed(const std::vector<std::string>& Arguments,
                           std::chrono::milliseconds Bound) {
  return simtest::RunQklTimed(Arguments, 2 * Bound);
}

}  // namespace faults
