#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "console/Terminal.h"

namespace {
bool SameDevice(int First, int Second) {
  struct stat A {};
  struct stat B {};
  return ::fstat(First, &A) == 0 && ::fstat(Second, &B) == 0 && A.st_rdev == B.st_rdev;
}
}  // namespace

std::optional<TTerminal> StandardErrorTerminal() {
  if (!::isatty(STDERR_FILENO)) return std::nullopt;
  TTerminal Shape;
  winsize Size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &Size) == 0 && Size.ws_col > 0)
    Shape.Columns = Size.ws_col;
  Shape.SharedWithOut = ::isatty(STDOUT_FILENO) && SameDevice(STDOUT_FILENO, STDERR_FILENO);
  return Shape;
}

bool StandardOutputTerminal() { return ::isatty(STDOUT_FILENO) != 0; }
