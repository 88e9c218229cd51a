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

namespace sim {

class PacedLine {
public:
  explicit PacedLine(uint32_t Baud = 115200);

  // The host's rate; 0 (not a standard rate) keeps the one before.
  void SetBaud(uint32_t Baud);
  Duration ByteTime() const { return PerByte; }

  // How many host bytes the line takes at Now: the room left in the adapter's transmit buffer.
  std::size_t HostRoom(TimePoint Now) const;
  // Host bytes taken at Now: each goes on the wire when the one before it is through.
  void FromHost(std::string_view Bytes, TimePoint Now);
  // The next host byte whose last bit has arrived by Now, and when it did; false when none has.
  bool HostByteArrived(TimePoint Now, char& Byte, TimePoint& At);

  // Bytes the chip starts to send at At, after those it is still sending.
  void FromChip(std::string_view Bytes, TimePoint At);
  // The chip's bytes whose last bit has reached the host by Now.
  std::string ReachedHost(TimePoint Now);

  // When the next byte on the line is through, in either direction.
  std::optional<TimePoint> NextByteDone() const;
  // The chip was reset: nothing is on the line any more.
  void Clear();

private:
  struct Timed {
    char Byte;
    TimePoint Done;  // its last bit is through
  };
  static void Queue(std::deque<Timed>& Line, std::string_view Bytes, TimePoint From,
                    Duration PerByte);

  Duration PerByte;
  std::deque<Timed> ToChip;
  std::deque<Timed> ToHost;
};

}  // namespace sim
