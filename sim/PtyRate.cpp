// The kernel's termios2 and the C library's termios declare the same names, so this file uses
// only the kernel's.
#include "sim/PtyRate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

// NOLINTNEXTLINE(readability-identifier-naming): the C library's, not included here
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace qkl::sim {

// With BOTHER the rate is the number in c_ospeed; with a code (B115200, B3000000, ...) the
// kernel fills c_ospeed with that code's rate too.
uint32_t TerminalRate(int fd) {
  termios2 settings{};
  if (fd < 0 || ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}

int TerminalStopBits(int fd) {
  termios2 settings{};
  if (fd < 0 || ioctl(fd, TCGETS2, &settings) != 0) return 1;
  return (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;
}

}  // namespace qkl::sim
