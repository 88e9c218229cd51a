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

#include "sim/PtyRate.h"

namespace qkl::sim {

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
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
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  char name[PATH_MAX];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
      ::ptsname_r(master_, name, sizeof name) != 0)
    Fail("pseudo-terminal slave");
  path_ = name;
  heldSlave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios settings{};
  int packetMode = 1;
  if (heldSlave_ < 0 || ::tcgetattr(heldSlave_, &settings) != 0) Fail("open pseudo-terminal slave");
  ::cfmakeraw(&settings);
  ::cfsetspeed(&settings, B115200);
  if (::tcsetattr(heldSlave_, TCSANOW, &settings) != 0 ||
      ::ioctl(master_, TIOCPKT, &packetMode) != 0)
    Fail("configure pseudo-terminal");
  watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch_ < 0 || ::inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0)
    Fail("watch pseudo-terminal");
  // Settling the slave above has posted status bytes; they are not a host's reset.
  Event ignored;
  while (Read(ignored)) {
  }
}

PtyLine::~PtyLine() { Close(); }

void PtyLine::Close() {
  CloseFd(watch_);
  CloseFd(heldSlave_);
  CloseFd(master_);
  pending_.clear();
}

bool PtyLine::Read(Event& into, std::size_t maxBytes) {
  if (master_ < 0) return false;
  char buffer[kAllBytes + 1];
  const ssize_t got = ::read(master_, buffer, std::min(maxBytes, kAllBytes) + 1);
  if (got <= 0) return false;
  into = Event{};
  if (buffer[0] == TIOCPKT_DATA) {
    into.bytes.assign(buffer + 1, got - 1);
    return !into.bytes.empty();
  }
  // The host's open is on the watch before its flush can reach the master. A flush that is
  // taken only after a later open counts as that host's reset: the two queues cannot tell which
  // came first, and a missed reset would fail the host's handshake.
  ServiceWatch();
  into.flushed = (buffer[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) != 0;
  into.reset = resetArmed_ && into.flushed;
  if (into.reset) {
    resetArmed_ = false;
    pending_.clear();
  }
  return true;
}

// The port counts as closed only when no host holds it at the end of the events taken together:
// a host that opened it meanwhile keeps its exclusive mode and the bytes meant for it.
void PtyLine::ServiceWatch() {
  alignas(inotify_event) char buffer[4096];
  ssize_t got;
  bool lastClosed = false;
  while (watch_ >= 0 && (got = ::read(watch_, buffer, sizeof buffer)) > 0) {
    for (char* at = buffer; at < buffer + got;) {
      const auto* each = reinterpret_cast<const inotify_event*>(at);
      if (each->mask & IN_OPEN) {
        ++hostOpens_;
        resetArmed_ = true;
      }
      if ((each->mask & IN_CLOSE) && hostOpens_ > 0) lastClosed |= --hostOpens_ == 0;
      at += sizeof(inotify_event) + each->len;
    }
  }
  if (lastClosed && hostOpens_ == 0) HostClosed();
}

// The port is free again, and what the chip sent that no host read is gone with it.
void PtyLine::HostClosed() {
  ::ioctl(heldSlave_, TIOCNXCL);
  pending_.clear();
  char unread[4096];
  while (::read(heldSlave_, unread, sizeof unread) > 0) {
  }
}

uint32_t PtyLine::LinkRate() const { return TerminalRate(master_); }

int PtyLine::LinkStopBits() const { return TerminalStopBits(master_); }

void PtyLine::Send(std::string_view bytes) {
  if (bytes.empty()) return;
  if (hostOpens_ == 0) ServiceWatch();
  if (hostOpens_ == 0) return;
  pending_.append(bytes);
  WritePending();
}

void PtyLine::WritePending() {
  if (master_ < 0 || pending_.empty()) return;
  const ssize_t written = ::write(master_, pending_.data(), pending_.size());
  if (written > 0) pending_.erase(0, written);
}

}  // namespace qkl::sim
