// The running program's file as the system reports it: /proc on Linux, the loader's record on
// macOS, sysctl on FreeBSD. Other systems report none, and the caller keeps argv[0].
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#elif defined(__FreeBSD__) || defined(__DragonFly__)
#include <sys/types.h>
#include <sys/sysctl.h>
#endif
#include <unistd.h>

#include <cstring>

#include "frontend/ProgramPath.h"

#if defined(__APPLE__)
std::string RunningProgramPath() {
  uint32_t Size = 0;
  ::_NSGetExecutablePath(nullptr, &Size);
  std::string Path(Size, '\0');
  if (::_NSGetExecutablePath(Path.data(), &Size) != 0) return {};
  Path.resize(std::strlen(Path.c_str()));
  return Path;
}
#elif defined(__FreeBSD__) || defined(__DragonFly__)
std::string RunningProgramPath() {
  int Query[] = {CTL_KERN, KERN_PROC, KERN_PROC_PATHNAME, -1};
  std::size_t Size = 0;
  if (::sysctl(Query, 4, nullptr, &Size, nullptr, 0) != 0) return {};
  std::string Path(Size, '\0');
  if (::sysctl(Query, 4, Path.data(), &Size, nullptr, 0) != 0) return {};
  Path.resize(std::strlen(Path.c_str()));
  return Path;
}
#elif defined(__linux__)
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
#else
std::string RunningProgramPath() { return {}; }
#endif
