#include <unistd.h>

#include "frontend/ProgramPath.h"

std::string RunningProgramPath() {
  std::string Path(256, '\0');
  for (;;) {
    const ssize_t Length = ::readlink("/proc/self/exe", Path.data(), Path.size());
    if (Length < 0) return {};
    if (static_cast<std::size_t>(Length) < Path.size()) {
      Path.resize(static_cast<std::size_t>(Length));
      return Path;
    }
    Path.resize(Path.size() * 2);
  }
}
