// Preloaded into Wine for tests: gives pseudo-terminals the modem lines they lack. Wine's
// serial code reads the modem status while a WaitCommEvent is pending and gives the wait up
// when that fails, and EscapeCommFunction fails outright; with these lines both behave as on
// a real port. Every change of DTR or RTS is appended to the file named by QKL_MODEM_LOG as
// "<monotonic ms> DTR=<0|1> RTS=<0|1>", so a test can check the reset pulse. The output
// queue of the test lines with a transmitter (TransmitQueue.cpp) is answered here too.
// While the file named by QKL_MODEM_FAIL exists, reading the modem status fails with EIO, as
// it does once a USB adapter has been pulled out.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "TransmitQueue.h"

namespace {

constexpr unsigned PtySlaveMajorFirst = 136;  // Unix98 pseudo-terminal slaves: majors 136 to 143
constexpr unsigned PtySlaveMajorLast = 143;

using TIoctl = int (*)(int, unsigned long, ...);

std::mutex Guard;
std::map<dev_t, int> Lines;  // per terminal device; a real port starts with DTR and RTS on

bool PseudoTerminal(int Fd, dev_t& Device) {
  struct stat Status {};
  if (::fstat(Fd, &Status) != 0 || !S_ISCHR(Status.st_mode)) return false;
  const unsigned Major = major(Status.st_rdev);
  Device = Status.st_rdev;
  return Major >= PtySlaveMajorFirst && Major <= PtySlaveMajorLast;
}

bool ModemRequest(unsigned long Request) {
  return Request == TIOCMGET || Request == TIOCMSET || Request == TIOCMBIS || Request == TIOCMBIC;
}

void Log(int State) {
  const char* Path = std::getenv("QKL_MODEM_LOG");
  if (!Path) return;
  FILE* File = std::fopen(Path, "a");
  if (!File) return;
  timespec Now{};
  ::clock_gettime(CLOCK_MONOTONIC, &Now);
  std::fprintf(File, "%.3f DTR=%d RTS=%d\n", Now.tv_sec * 1e3 + Now.tv_nsec / 1e6,
               (State & TIOCM_DTR) ? 1 : 0, (State & TIOCM_RTS) ? 1 : 0);
  std::fclose(File);
}

bool AdapterPulled() {
  const char* Path = std::getenv("QKL_MODEM_FAIL");
  struct stat Status {};
  return Path && ::stat(Path, &Status) == 0;
}

int Emulate(dev_t Device, unsigned long Request, int* Bits) {
  if (Request == TIOCMGET && AdapterPulled()) {
    errno = EIO;
    return -1;
  }
  const std::lock_guard Lock(Guard);
  int& State = Lines.try_emplace(Device, TIOCM_DTR | TIOCM_RTS).first->second;
  if (Request == TIOCMGET) {
    *Bits = State | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
    return 0;
  }
  const int Before = State;
  if (Request == TIOCMSET) State = *Bits;
  if (Request == TIOCMBIS) State |= *Bits;
  if (Request == TIOCMBIC) State &= ~*Bits;
  State &= TIOCM_DTR | TIOCM_RTS;
  if (State != Before) Log(State);
  return 0;
}

}  // namespace

extern "C" int ioctl(int Fd, unsigned long Request, ...) noexcept {
  va_list Arguments;
  va_start(Arguments, Request);
  void* Argument = va_arg(Arguments, void*);
  va_end(Arguments);
  int Queued = 0;
  if (Request == TIOCOUTQ && Argument && ModelledOutputQueue(Fd, Queued)) {
    *static_cast<int*>(Argument) = Queued;
    return 0;
  }
  dev_t Device = 0;
  if (ModemRequest(Request) && Argument && PseudoTerminal(Fd, Device))
    return Emulate(Device, Request, static_cast<int*>(Argument));
  static const auto Real = reinterpret_cast<TIoctl>(::dlsym(RTLD_NEXT, "ioctl"));
  return Real(Fd, Request, Argument);
}
