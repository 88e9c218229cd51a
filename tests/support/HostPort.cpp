#include "tests/support/HostPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace simtest {

HostPort::HostPort(const std::string& Path, speed_t Rate, Opening How)
    : Fd(::open(Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
  termios Settings{};
  if (Fd < 0 || ::tcgetattr(Fd, &Settings) != 0) return;
  ::cfmakeraw(&Settings);
  ::cfsetspeed(&Settings, Rate);
  ::tcsetattr(Fd, TCSANOW, &Settings);
  ::ioctl(Fd, TIOCEXCL);
  if (How == Opening::Flushed) ::tcflush(Fd, TCIOFLUSH);
}

HostPort::~HostPort() {
  if (Fd >= 0) ::close(Fd);
}

void HostPort::Write(const std::string& Bytes) {
  ASSERT_EQ(::write(Fd, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
}

std::string HostPort::Read(std::size_t Count, std::chrono::milliseconds Quiet) {
  std::string Bytes;
  char Buffer[1024];
  pollfd Ready{Fd, POLLIN, 0};
  while (Bytes.size() < Count && ::poll(&Ready, 1, static_cast<int>(Quiet.count())) > 0) {
    const ssize_t Got = ::read(Fd, Buffer, std::min(sizeof Buffer, Count - Bytes.size()));
    if (Got <= 0) break;
    Bytes.append(Buffer, Got);
  }
  return Bytes;
}

}  // namespace simtest
