#include "sim/PacedLine.h"

#include <algorithm>

namespace qkl::sim {

namespace {

// A start bit and eight data bits, then the stop bits.
constexpr int kBitTimesBeforeStop = 9;
// Host bytes the line holds before they have gone out: the transmit buffer of a USB serial
// adapter (256 bytes in the FT232R, 512 in the FT231X, 640 in the CP2102), which its UART sends
// back to back. It also keeps the line busy while this process waits for the processor.
constexpr std::size_t kAdapterBufferBytes = 256;
// A full-speed USB bulk packet holds 64 bytes; an FTDI adapter's packets to the host begin with
// two status bytes.
constexpr std::size_t kUsbPacketBytes = 64;
constexpr std::size_t kPacketDataBytes = kUsbPacketBytes - 2;

// The first tick of a timer with period `period` at or after `at`, on the clock's own grid.
TimePoint TickAtOrAfter(TimePoint at, Duration period) {
  const auto since = at.time_since_epoch().count();
  const auto ticks = (since + period.count() - 1) / period.count();
  return TimePoint(Duration(ticks * period.count()));
}

}  // namespace

PacedLine::PacedLine(uint32_t baud, Duration latency) : perByte_{}, latency_(latency) {
  SetBaud(baud);
}

void PacedLine::SetBaud(uint32_t baud, int stopBits) {
  if (baud == 0) return;
  perByte_ = std::chrono::duration_cast<Duration>(
      std::chrono::duration<double>(double(kBitTimesBeforeStop + stopBits) / baud));
}

// The index of the first host byte still in the adapter at `now`.
std::size_t PacedLine::FirstHeld(TimePoint now) const {
  return std::partition_point(toChip_.begin(), toChip_.end(),
                              [now](const Timed& byte) { return byte.done <= now; }) -
         toChip_.begin();
}

std::size_t PacedLine::HostRoom(TimePoint now) const {
  const std::size_t held = toChip_.size() - FirstHeld(now);
  return held >= kAdapterBufferBytes ? 0 : kAdapterBufferBytes - held;
}

std::optional<TimePoint> PacedLine::PacketRoomAt(TimePoint now) const {
  constexpr std::size_t kMostHeld = kAdapterBufferBytes - kUsbPacketBytes;
  const std::size_t first = FirstHeld(now);
  const std::size_t held = toChip_.size() - first;
  if (held <= kMostHeld) return std::nullopt;
  return toChip_[first + (held - kMostHeld) - 1].done;
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

std::optional<TimePoint> PacedLine::NextHandOver() const {
  if (toHost_.empty()) return std::nullopt;
  const TimePoint timer = TickAtOrAfter(toHost_.front().done, latency_);
  if (toHost_.size() < kPacketDataBytes) return timer;
  return std::min(timer, toHost_[kPacketDataBytes - 1].done);
}

std::string PacedLine::ReachedHost(TimePoint now) {
  std::string bytes;
  for (std::optional<TimePoint> at; (at = NextHandOver()) && *at <= now;) {
    while (!toHost_.empty() && toHost_.front().done <= *at) {
      bytes += toHost_.front().byte;
      toHost_.pop_front();
    }
  }
  return bytes;
}

std::optional<TimePoint> PacedLine::NextHostByteDone() const {
  if (toChip_.empty()) return std::nullopt;
  return toChip_.front().done;
}

void PacedLine::Clear() {
  toChip_.clear();
  toHost_.clear();
}

}  // namespace qkl::sim
