#include "sim/PacedLine.h"

#include <algorithm>

namespace qkl::sim {

namespace {

constexpr int kBitTimesPerByte = 10;
// Host bytes the line holds before they have gone out: the transmit buffer of a USB serial
// adapter (256 bytes in the FT232R, 512 in the FT231X, 640 in the CP2102), which its UART sends
// back to back. It also keeps the line busy while this process waits for the processor.
constexpr std::size_t kAdapterBufferBytes = 256;

}  // namespace

PacedLine::PacedLine(uint32_t baud) : perByte_{} { SetBaud(baud); }

void PacedLine::SetBaud(uint32_t baud) {
  if (baud == 0) return;
  perByte_ = std::chrono::duration_cast<Duration>(
      std::chrono::duration<double>(double(kBitTimesPerByte) / baud));
}

std::size_t PacedLine::HostRoom(TimePoint now) const {
  const auto sent = std::partition_point(toChip_.begin(), toChip_.end(),
                                         [now](const Timed& byte) { return byte.done <= now; });
  const auto held = static_cast<std::size_t>(toChip_.end() - sent);
  return held >= kAdapterBufferBytes ? 0 : kAdapterBufferBytes - held;
}

void PacedLine::Queue(std::deque<Timed>& line, std::string_view bytes, TimePoint from,
                      Duration perByte) {
  TimePoint start = line.empty() ? from : std::max(from, line.back().done);
  for (const char byte : bytes) {
    start += perByte;
    line.push_back({byte, start});
  }
}

void PacedLine::FromHost(std::string_view bytes, TimePoint now) {
  Queue(toChip_, bytes, now, perByte_);
}

bool PacedLine::HostByteArrived(TimePoint now, char& byte, TimePoint& at) {
  if (toChip_.empty() || toChip_.front().done > now) return false;
  byte = toChip_.front().byte;
  at = toChip_.front().done;
  toChip_.pop_front();
  return true;
}

void PacedLine::FromChip(std::string_view bytes, TimePoint at) {
  Queue(toHost_, bytes, at, perByte_);
}

std::string PacedLine::ReachedHost(TimePoint now) {
  std::string bytes;
  while (!toHost_.empty() && toHost_.front().done <= now) {
    bytes += toHost_.front().byte;
    toHost_.pop_front();
  }
  return bytes;
}

std::optional<TimePoint> PacedLine::NextByteDone() const {
  std::optional<TimePoint> next;
  for (const std::deque<Timed>* line : {&toChip_, &toHost_})
    if (!line->empty() && (!next || line->front().done < *next)) next = line->front().done;
  return next;
}

void PacedLine::Clear() {
  toChip_.clear();
  toHost_.clear();
}

}  // namespace qkl::sim
