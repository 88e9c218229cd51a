#include "tests/support/PtyPair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "tests/support/OpenPty.h"

TPtyPair::TPtyPair() {
  termios Raw{};
  ::cfmakeraw(&Raw);
  if (::openpty(&Master, &Slave, nullptr, &Raw, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed";
    return;
  }
  ::fcntl(Master, F_SETFD, FD_CLOEXEC);
  ::fcntl(Slave, F_SETFD, FD_CLOEXEC);
  SlavePath = ::ttyname(Slave);
}

TPtyPair::~TPtyPair() {
  if (Slave >= 0) ::close(Slave);
  if (Master >= 0) ::close(Master);
}

void TPtyPair::SetColumns(int Columns) {
  const winsize Size{24, static_cast<unsigned short>(Columns), 0, 0};
  ::ioctl(Slave, TIOCSWINSZ, &Size);
}

void TPtyPair::Send(const std::string& Bytes) {
  ASSERT_EQ(::write(Master, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
}

std::string TPtyPair::Receive(std::size_t MaxBytes, int TimeoutMs) {
  using TClock = std::chrono::steady_clock;
  std::string Got;
  const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  while (Got.size() < MaxBytes && TClock::now() < Deadline) {
    pollfd Poll{Master, POLLIN, 0};
    if (::poll(&Poll, 1, 10) <= 0) continue;
    char Buffer[4096];
    const ssize_t Count = ::read(Master, Buffer, std::min(sizeof Buffer, MaxBytes - Got.size()));
    if (Count > 0) Got.append(Buffer, static_cast<std::size_t>(Count));
  }
  return Got;
}
