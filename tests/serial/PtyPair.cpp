#include "PtyPair.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "tests/OpenPty.h"

TPtyPair::TPtyPair() {
  termios Raw{};
  ::cfmakeraw(&Raw);
  if (::openpty(&Master, &Slave, nullptr, &Raw, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed";
    return;
  }
  SlavePath = ::ttyname(Slave);
}

TPtyPair::~TPtyPair() {
  if (Slave >= 0) ::close(Slave);
  if (Master >= 0) ::close(Master);
}

void TPtyPair::Send(const std::string& Bytes) {
  ASSERT_EQ(::write(Master, Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
}

std::string TPtyPair::Receive(std::size_t MaxBytes, int TimeoutMs) {
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

void OpenConfigured(TBlockSerial& Port, const TPtyPair& Pair, int32_t Baud) {
  Port.OpenDevice(Pair.SlavePath);
  ASSERT_EQ(Port.ErrorCode(), 0) << Port.ErrorDesc();
  Port.Configure(Baud, 8, 'N', 0, false, false);
  ASSERT_EQ(Port.ErrorCode(), 0) << Port.ErrorDesc();
}

bool WaitQueued(TBlockSerial& Port, int32_t Count) {
  const auto Deadline = TClock::now() + std::chrono::seconds(1);
  while (Port.QueuedInput() < Count) {
    if (TClock::now() >= Deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

int64_t MsSince(TClock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - Start).count();
}
