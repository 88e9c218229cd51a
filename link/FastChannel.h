// TFastChannel: the fast loader's line once the chip runs it: rate attempts, packets in a window,
// resends and steps down to slower rates. Every wait is bounded.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/FastPackets.h"
#include "link/LinkSession.h"

// The chip waits for 40000 clocks of idle line before an attempt's calibration bytes: 5 ms on the
// slowest RC clock (8 MHz), 0.5 ms at 80 MHz; and 1 ms more for the host's own timer.
inline constexpr int32_t AttemptIdleMs = 6;

// The rates the host offers, from the fastest down.
inline constexpr uint32_t RateSteps[] = {3000000, 2000000, 921600, 460800, 230400};

// The steps a chip running at ClockHz can take (its receive loop needs 20 clocks a bit), at most
// MaxRate. The RC clock (ClockHz 0: 8 to 20 MHz) is offered the rates of its fastest.
std::vector<uint32_t> RatesFor(uint32_t ClockHz, uint32_t MaxRate);

class TFastChannel {
public:
  // Acknowledged receives each packet's count of data longs once the chip has it.
  TFastChannel(TLinkSession& Session, std::function<void(std::size_t)> Acknowledged);

  // Offers Rates from the first on, skipping those the port refuses; true once one's check packet
  // is acknowledged. A later failure steps down from there. FirstIdleMs: the idle line before the
  // first attempt, less where the caller knows the chip to be waiting for one already.
  bool Agree(std::vector<uint32_t> Rates, int32_t FirstIdleMs = AttemptIdleMs);
  // Sends the packets, a window of them at once; a refused one goes again, a few times. Errors
  // and silence step down to the next rate; false when no rate is left.
  bool Transfer(std::vector<TFastPacket> Packets);
  // Offers Rate with Packet as the check packet, Tries times at most, until the chip answers one:
  // for a chip that may not listen yet. Each waits ProbeAnswerMs for its answer. True once one is
  // acknowledged; a later failure steps down to nothing.
  bool Probe(uint32_t Offered, const TFastPacket& Packet, int Tries);

  uint32_t Rate() const { return Rates.empty() ? 0 : Rates[RateIndex]; }
  // Bytes after an answer (a verdict, the read-back), each within TimeoutMs of the one before.
  bool Receive(std::string& Into, std::size_t Count, int32_t TimeoutMs);
  // Sends Bytes as they are and keeps the line's time.
  bool SendRaw(std::string_view Bytes);
  // Waits until the line has been idle for IdleMs, throwing away what comes meanwhile.
  void Quiet(int32_t IdleMs);

private:
  struct TInFlight {
    std::size_t Index;  // in the transfer's packets
    uint8_t Sequence;
    TPortTime Out;  // when its last byte is through
  };
  bool Attempt(uint32_t Offered, int32_t IdleMs);
  bool StepDown();
  bool WindowOpen();
  bool Send(const TFastPacket& Packet, std::size_t Index, std::string_view Prefix = {});
  // When the answer to the oldest packet in flight is due at the latest, WaitMs after it.
  TPortTime AnswerBy(int32_t WaitMs) const;
  // True when the oldest packet in flight (an attempt's) is acknowledged within WaitMs.
  bool Checked(int32_t WaitMs);
  // The next byte from the chip by Deadline; false on silence or a failed read.
  bool Answer(uint8_t& Reply, TPortTime Deadline);

  TLinkSession& Session;
  std::function<void(std::size_t)> Acknowledged;
  std::vector<uint32_t> Rates;
  std::size_t RateIndex = 0;
  bool LastRateRetried = false;
  uint32_t Baud = 0;  // the port's rate
  uint8_t Sequence = 0;
  TPortTime LineFree{};
  TPortTime LastAnswer{};
  std::deque<TInFlight> Flight;
};
