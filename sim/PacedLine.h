// The serial line at its real rate, between the pseudo-terminal and the chip: every byte takes
// ten bit times of wall time in each direction. A host byte reaches the chip when its last bit
// has arrived; the chip's bytes reach the host one per ten bit times, each when its last bit is
// through and never before the chip sent it.
//
// A pseudo-terminal takes the host's writes at once and reports an empty output queue, so the
// line takes only as many host bytes as an adapter's transmit buffer holds (HostRoom); the rest
// wait in the pseudo-terminal, whose buffer then fills and holds the host's writes back as a
// real port's driver buffer does.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "sim/ChipSettings.h"

namespace qkl::sim {

class PacedLine {
 public:
  explicit PacedLine(uint32_t baud = 115200);

  // The host's rate; 0 (not a standard rate) keeps the one before.
  void SetBaud(uint32_t baud);
  Duration ByteTime() const { return perByte_; }

  // How many host bytes the line takes at `now`: the room left in the adapter's transmit buffer.
  std::size_t HostRoom(TimePoint now) const;
  // Host bytes taken at `now`: each goes on the wire when the one before it is through.
  void FromHost(std::string_view bytes, TimePoint now);
  // The next host byte whose last bit has arrived by `now`, and when it did; false when none has.
  bool HostByteArrived(TimePoint now, char& byte, TimePoint& at);

  // Bytes the chip starts to send at `at`, after those it is still sending.
  void FromChip(std::string_view bytes, TimePoint at);
  // The chip's bytes whose last bit has reached the host by `now`.
  std::string ReachedHost(TimePoint now);

  // When the next byte on the line is through, in either direction.
  std::optional<TimePoint> NextByteDone() const;
  // The chip was reset: nothing is on the line any more.
  void Clear();

 private:
  struct Timed {
    char byte;
    TimePoint done;  // its last bit is through
  };
  static void Queue(std::deque<Timed>& line, std::string_view bytes, TimePoint from,
                    Duration perByte);

  Duration perByte_;
  std::deque<Timed> toChip_;
  std::deque<Timed> toHost_;
};

}  // namespace qkl::sim
