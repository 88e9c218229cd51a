#include "serial/OutputDrain.h"

#include <algorithm>

namespace {
constexpr auto PollInterval = std::chrono::milliseconds(1);
}

std::chrono::milliseconds LineTime(int32_t Bytes, uint32_t Baud, uint32_t FrameBits) {
  if (Baud == 0 || Bytes <= 0) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(uint64_t(Bytes) * FrameBits * 1000 / Baud + 1);
}

TPortResult DrainOutput(TSerialPort& Port, int32_t AllowanceMs, uint32_t Baud, uint32_t FrameBits) {
  int32_t Input = 0;
  int32_t Queued = 0;
  if (const TPortResult Counted = Port.QueueCounts(Input, Queued); !Counted.Ok()) return Counted;
  const TPortTime Deadline = Port.Now() + std::chrono::milliseconds(std::max(AllowanceMs, 0)) +
                             LineTime(Queued, Baud, FrameBits);
  while (Queued > 0) {
    if (Port.Now() >= Deadline) return {ErrTimeout};
    Port.WaitUntil(Port.Now() + PollInterval);
    if (const TPortResult Counted = Port.QueueCounts(Input, Queued); !Counted.Ok()) return Counted;
  }
  return {};
}
