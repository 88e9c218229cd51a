#include "SerialTesting.h"

#include <gtest/gtest.h>

#include <thread>

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
