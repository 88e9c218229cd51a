#include "sim/PtyLine.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace sim {

namespace {

[[noreturn]] void Fail(const char* What) {
  throw std::system_error(errno, std::generic_category(), What);
}

void CloseFd(int& Fd) {
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

uint32_t BaudOf(speed_t Speed) {
  struct Rate {
    speed_t Code;
    uint32_t Baud;
  };
  static const Rate Rates[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},
                               {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
                               {B57600, 57600},   {B115200, 115200}, {B230400, 230400},
                               {B460800, 460800}, {B921600, 921600}};
  for (const Rate& Each : Rates)
    if (Each.Code == Speed) return Each.Baud;
  return 0;
}

}  // namespace

PtyLine::PtyLine() {
  try {
    Open();
  } catch (...) {
    Close();
    throw;
  }
}

void PtyLine::Open() {
  Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Master < 0) Fail("posix_openpt");
  char Name[PATH_MAX];
  if (::grantpt(Master) != 0 || ::unlockpt(Master) != 0 ||
      ::ptsname_r(Master, Name, sizeof Name) != 0)
    Fail("pseudo-terminal slave");
  Path = Name;
  HeldSlave = ::open(Name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios Settings{};
  int PacketMode = 1;
  if (HeldSlave < 0 || ::tcgetattr(HeldSlave, &Settings) != 0) Fail("open pseudo-terminal slave");
  ::cfmakeraw(&Settings);
  ::cfsetspeed(&Settings, B115200);
  if (::tcsetattr(HeldSlave, TCSANOW, &Settings) != 0 || ::ioctl(Master, TIOCPKT, &PacketMode) != 0)
    Fail("configure pseudo-terminal");
  Watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (Watch < 0 || ::inotify_add_watch(Watch, Name, IN_OPEN | IN_CLOSE) < 0)
    Fail("watch pseudo-terminal");
  // Settling the slave above has posted status bytes; they are not a host's reset.
  Event Ignored;
  while (Read(Ignored)) {
  }
}

PtyLine::~PtyLine() { Close(); }

void PtyLine::Close() {
  CloseFd(Watch);
  CloseFd(HeldSlave);
  CloseFd(Master);
  Pending.clear();
}

bool PtyLine::Read(Event& Into, std::size_t MaxBytes) {
  if (Master < 0) return false;
  char Buffer[AllBytes + 1];
  const ssize_t Got = ::read(Master, Buffer, std::min(MaxBytes, AllBytes) + 1);
  if (Got <= 0) return false;
  Into = Event{};
  if (Buffer[0] == TIOCPKT_DATA) {
    Into.Bytes.assign(Buffer + 1, Got - 1);
    return !Into.Bytes.empty();
  }
  // The host's open is on the watch before its flush can reach the master. A flush that is
  // taken only after a later open counts as that host's reset: the two queues cannot tell which
  // came first, and a missed reset would fail the host's handshake.
  ServiceWatch();
  Into.Flushed = (Buffer[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) != 0;
  Into.Reset = ResetArmed && Into.Flushed;
  if (Into.Reset) {
    ResetArmed = false;
    Pending.clear();
  }
  return true;
}

// The port counts as closed only when no host holds it at the end of the events taken together:
// a host that opened it meanwhile keeps its exclusive mode and the bytes meant for it.
void PtyLine::ServiceWatch() {
  alignas(inotify_event) char Buffer[4096];
  ssize_t Got;
  bool LastClosed = false;
  while (Watch >= 0 && (Got = ::read(Watch, Buffer, sizeof Buffer)) > 0) {
    for (char* At = Buffer; At < Buffer + Got;) {
      const auto* Each = reinterpret_cast<const inotify_event*>(At);
      if (Each->mask & IN_OPEN) {
        ++HostOpens;
        ResetArmed = true;
      }
      if ((Each->mask & IN_CLOSE) && HostOpens > 0) LastClosed |= --HostOpens == 0;
      At += sizeof(inotify_event) + Each->len;
    }
  }
  if (LastClosed && HostOpens == 0) HostClosed();
}

// The port is free again, and what the chip sent that no host read is gone with it.
void PtyLine::HostClosed() {
  ::ioctl(HeldSlave, TIOCNXCL);
  Pending.clear();
  char Unread[4096];
  while (::read(HeldSlave, Unread, sizeof Unread) > 0) {
  }
}

uint32_t PtyLine::LinkRate() const {
  termios Settings{};
  if (Master < 0 || ::tcgetattr(Master, &Settings) != 0) return 0;
  return BaudOf(::cfgetospeed(&Settings));
}

void PtyLine::Send(std::string_view Bytes) {
  if (Bytes.empty()) return;
  if (HostOpens == 0) ServiceWatch();
  if (HostOpens == 0) return;
  Pending.append(Bytes);
  WritePending();
}

void PtyLine::WritePending() {
  if (Master < 0 || Pending.empty()) return;
  const ssize_t Written = ::write(Master, Pending.data(), Pending.size());
  if (Written > 0) Pending.erase(0, Written);
}

}  // namespace sim
