// The serial line at its real rate, between the pseudo-terminal and the chip: every byte takes
// ten bit times of wall time in each direction, eleven in the frames of two stop bits the host may
// set. A host byte reaches the chip when its last bit has arrived; the chip's bytes reach the
// host one per byte time, each when its last bit is
// through and never before the chip sent it. The adapter passes the chip's bytes on as a USB
// serial adapter does: when its latency timer runs out, or at once when they fill a USB packet.
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
  static constexpr uint32_t kDefaultBaud = 115200;
  static constexpr Duration kDefaultLatency = std::chrono::milliseconds(1);
  explicit PacedLine(uint32_t baud = kDefaultBaud, Duration latency = kDefaultLatency);

  // The host's rate and its frames' stop bits (1 or 2); a rate of 0 (one that could not be read)
  // keeps the one before.
  void SetBaud(uint32_t baud, int stopBits = 1);
  Duration ByteTime() const { return perByte_; }

  // How many host bytes the line takes at `now`: the room left in the adapter's transmit buffer.
  std::size_t HostRoom(TimePoint now) const;
  // When the transmit buffer has room again for a USB packet of host bytes, if it has none at
  // `now`: a fast line drains it between two turns of the adapter's frame.
  std::optional<TimePoint> PacketRoomAt(TimePoint now) const;
  // Host bytes taken at `now`: each goes on the wire when the one before it is through.
  void FromHost(std::string_view bytes, TimePoint now);
  // The next host byte whose last bit has arrived by `now`, and when it did; false when none has.
  bool HostByteArrived(TimePoint now, char& byte, TimePoint& at);

  // Bytes the chip starts to send at `at`, after those it is still sending.
  void FromChip(std::string_view bytes, TimePoint at);
  // The chip's bytes the adapter has handed to the host by `now`.
  std::string ReachedHost(TimePoint now);

  // When the next host byte is through.
  std::optional<TimePoint> NextHostByteDone() const;
  // When the adapter next hands chip bytes to the host: at the tick of its latency timer after
  // the first waiting byte is in, or when they fill a packet, whichever is first.
  std::optional<TimePoint> NextHandOver() const;
  // The chip was reset: nothing is on the line any more.
  void Clear();

 private:
  struct Timed {
    char byte;
    TimePoint done;  // its last bit is through
  };
  static void Queue(std::deque<Timed>& line, std::string_view bytes, TimePoint from,
                    Duration perByte);
  std::size_t FirstHeld(TimePoint now) const;

  Duration perByte_;
  Duration latency_;
  std::deque<Timed> toChip_;
  std::deque<Timed> toHost_;
};

}  // namespace qkl::sim
