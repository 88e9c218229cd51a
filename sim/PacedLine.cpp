#include "sim/PacedLine.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int BitTimesPerByte = 10;
// Host bytes the line holds before they have gone out: the transmit buffer of a USB serial
// adapter (256 bytes in the FT232R, 512 in the FT231X, 640 in the CP2102), which its UART sends
// back to back. It also keeps the line busy while this process waits for the processor.
constexpr std::size_t AdapterBufferBytes = 256;

}  // namespace

PacedLine::PacedLine(uint32_t Baud) : PerByte{} { SetBaud(Baud); }

void PacedLine::SetBaud(uint32_t Baud) {
  if (Baud == 0) return;
  PerByte = std::chrono::duration_cast<Duration>(
      std::chrono::duration<double>(double(BitTimesPerByte) / Baud));
}

std::size_t PacedLine::HostRoom(TimePoint Now) const {
  const auto Sent = std::partition_point(ToChip.begin(), ToChip.end(),
                                         [Now](const Timed& Byte) { return Byte.Done <= Now; });
  const auto Held = static_cast<std::size_t>(ToChip.end() - Sent);
  return Held >= AdapterBufferBytes ? 0 : AdapterBufferBytes - Held;
}

void PacedLine::Queue(std::deque<Timed>& Line, std::string_view Bytes, TimePoint From,
                      Duration PerByte) {
  TimePoint Start = Line.empty() ? From : std::max(From, Line.back().Done);
  for (const char Byte : Bytes) {
    Start += PerByte;
    Line.push_back({Byte, Start});
  }
}

void PacedLine::FromHost(std::string_view Bytes, TimePoint Now) {
  Queue(ToChip, Bytes, Now, PerByte);
}

bool PacedLine::HostByteArrived(TimePoint Now, char& Byte, TimePoint& At) {
  if (ToChip.empty() || ToChip.front().Done > Now) return false;
  Byte = ToChip.front().Byte;
  At = ToChip.front().Done;
  ToChip.pop_front();
  return true;
}

void PacedLine::FromChip(std::string_view Bytes, TimePoint At) {
  Queue(ToHost, Bytes, At, PerByte);
}

std::string PacedLine::ReachedHost(TimePoint Now) {
  std::string Bytes;
  while (!ToHost.empty() && ToHost.front().Done <= Now) {
    Bytes += ToHost.front().Byte;
    ToHost.pop_front();
  }
  return Bytes;
}

std::optional<TimePoint> PacedLine::NextByteDone() const {
  std::optional<TimePoint> Next;
  for (const std::deque<Timed>* Line : {&ToChip, &ToHost})
    if (!Line->empty() && (!Next || Line->front().Done < *Next)) Next = Line->front().Done;
  return Next;
}

void PacedLine::Clear() {
  ToChip.clear();
  ToHost.clear();
}

}  // namespace sim
