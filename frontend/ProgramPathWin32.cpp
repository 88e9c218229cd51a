#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "frontend/ProgramPath.h"

std::string RunningProgramPath() {
  std::string Path(MAX_PATH, '\0');
  for (;;) {
    const DWORD Length =
        ::GetModuleFileNameA(nullptr, Path.data(), static_cast<DWORD>(Path.size()));
    if (Length == 0) return {};
    // A path that fills the buffer may have been cut: the call gives no other sign of it.
    if (Length < Path.size()) {
      Path.resize(Length);
      return Path;
    }
    Path.resize(Path.size() * 2);
  }
}
