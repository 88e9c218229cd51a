#include "link/FastChannel.h"

#include <algorithm>
#include <iterator>
#include <numeric>

namespace {
using std::chrono::milliseconds;

// The chip's receive loop needs this many clocks a bit at least.
constexpr uint64_t MinBitClocks = 20;
constexpr uint32_t RcFastestHz = 20000000;
// 8N2 at every rate: the chip's receiver stores a long during the second stop bit.
constexpr int32_t StopBits = 2;
constexpr int64_t FrameBits = 11;
// From a packet's last byte to its answer: the chip checks the CRC in well under a millisecond;
// the rest is the adapter's latency timer (16 ms on FTDI's default) and the system's.
constexpr int32_t AnswerMs = 40;
// A probe's answer: the same less room; a try whose answer comes later than this costs the try
// after it too (the chip, having answered, takes that one's calibration bytes as a broken header),
// not the load.
constexpr int32_t ProbeAnswerMs = 20;
// The same while packets stream, from the oldest in flight or the last answer: a step down there
// costs far more than waiting (the packets in flight again, attempts, a slower rate, and a
// fallback if late answers fail the attempts too), and a loaded host or a busy adapter holds
// answers back longer than an attempt's time now and then. A chip that has stopped is found
// 110 ms later.
constexpr int32_t StreamAnswerMs = 150;
// The window: packets are sent ahead while the line holds less than WindowMs of bytes not yet
// answered, so that the answers keep coming through an adapter's latency timer; at least two, at
// most WindowPacketsMost (the sequence numbers tell 128 apart).
constexpr int32_t WindowMs = 24;
constexpr std::size_t WindowPacketsLeast = 2;
constexpr std::size_t WindowPacketsMost = 16;
constexpr int ResendsMost = 3;
// After an error the chip's receiver may take a first attempt as the rest of a packet; it is
// waiting for the second.
constexpr int AttemptsAfterError = 2;
// $80: one low pulse of eight bit times that the chip measures; $FF: a pad.
constexpr std::string_view Calibration = "\x80\xFF";
}  // namespace

std::vector<uint32_t> RatesFor(uint32_t ClockHz, uint32_t MaxRate) {
  const uint64_t Clock = ClockHz != 0 ? ClockHz : RcFastestHz;
  std::vector<uint32_t> Rates;
  for (const uint32_t Rate : RateSteps)
    if (Rate <= MaxRate && Rate * MinBitClocks <= Clock) Rates.push_back(Rate);
  return Rates;
}

TFastChannel::TFastChannel(TLinkSession& Session, std::function<void(std::size_t)> Acknowledged)
    : Session(Session), Acknowledged(std::move(Acknowledged)) {}

bool TFastChannel::Agree(std::vector<uint32_t> Offered, int32_t FirstIdleMs) {
  Rates = std::move(Offered);
  LastRateRetried = false;
  for (RateIndex = 0; RateIndex < Rates.size(); ++RateIndex)
    if (Attempt(Rates[RateIndex], RateIndex == 0 ? FirstIdleMs : AttemptIdleMs)) return true;
  Rates.clear();
  return false;
}

// The slowest rate gets its attempts once more before the channel gives up.
bool TFastChannel::StepDown() {
  if (Rates.empty()) return false;
  if (RateIndex + 1 < Rates.size()) {
    ++RateIndex;
  } else if (LastRateRetried) {
    return false;
  }
  LastRateRetried = LastRateRetried || RateIndex + 1 == Rates.size();
  for (; RateIndex < Rates.size(); ++RateIndex)
    for (int Try = 0; Try < AttemptsAfterError; ++Try)
      if (Attempt(Rates[RateIndex], AttemptIdleMs)) return true;
  Rates.clear();
  return false;
}

bool TFastChannel::Attempt(uint32_t Offered, int32_t IdleMsBefore) {
  Session.WaitUntil(LineFree);
  if (!Session.SetLine(Offered, StopBits).Ok()) return false;
  Baud = Offered;
  Quiet(IdleMsBefore);
  Flight.clear();
  LastAnswer = {};
  const bool Passed = Send(DataPacket(0, {}), 0, Calibration) && Checked(AnswerMs);
  Flight.clear();
  return Passed;
}

bool TFastChannel::Probe(uint32_t Offered, const TFastPacket& Packet, int Tries) {
  Rates = {Offered};
  RateIndex = 0;
  LastRateRetried = true;
  LastAnswer = {};
  bool Answered = false;
  if (Session.SetLine(Offered, StopBits).Ok()) {
    Baud = Offered;
    for (int Try = 0; !Answered && Try < Tries; ++Try) {
      Flight.clear();
      if (!Send(Packet, 0, Calibration)) break;
      Answered = Checked(ProbeAnswerMs);
    }
  }
  Flight.clear();
  if (!Answered) Rates.clear();
  return Answered;
}

bool TFastChannel::Transfer(std::vector<TFastPacket> Packets) {
  std::deque<std::size_t> Waiting(Packets.size());
  std::iota(Waiting.begin(), Waiting.end(), std::size_t{0});
  std::vector<int> Resends(Packets.size(), 0);
  Flight.clear();
  while (!Waiting.empty() || !Flight.empty()) {
    while (!Waiting.empty() && WindowOpen()) {
      if (!Send(Packets[Waiting.front()], Waiting.front())) return false;
      Waiting.pop_front();
    }
    uint8_t Reply = 0;
    const bool Answered = Answer(Reply, AnswerBy(StreamAnswerMs));
    const TInFlight Oldest = Flight.front();
    if (Answered && Reply == Oldest.Sequence) {
      Flight.pop_front();
      if (Acknowledged) Acknowledged(Packets[Oldest.Index].Data.size());
      continue;
    }
    if (Answered && Reply == (Oldest.Sequence | NakBit) && ++Resends[Oldest.Index] <= ResendsMost) {
      Flight.pop_front();
      Waiting.push_front(Oldest.Index);
      continue;
    }
    // Silence, a stray answer or a packet refused too often: those in flight go again, slower.
    std::transform(Flight.rbegin(), Flight.rend(), std::front_inserter(Waiting),
                   [](const TInFlight& Packet) { return Packet.Index; });
    Flight.clear();
    if (!StepDown()) return false;
  }
  return true;
}

bool TFastChannel::WindowOpen() {
  if (Flight.size() < WindowPacketsLeast) return true;
  return Flight.size() < WindowPacketsMost && LineFree < Session.Now() + milliseconds(WindowMs);
}

bool TFastChannel::Send(const TFastPacket& Packet, std::size_t Index, std::string_view Prefix) {
  Sequence = static_cast<uint8_t>((Sequence + 1) & SequenceMask);
  if (!SendRaw(std::string(Prefix) + PacketBytes(Packet, Sequence))) return false;
  Flight.push_back({Index, Sequence, LineFree});
  return true;
}

bool TFastChannel::SendRaw(std::string_view Bytes) {
  if (!Session.Send(Bytes).Ok()) return false;
  const auto Busy = std::chrono::nanoseconds(static_cast<int64_t>(Bytes.size()) * FrameBits *
                                             1'000'000'000 / std::max<uint32_t>(Baud, 1));
  LineFree = std::max(LineFree, Session.Now()) + Busy;
  return true;
}

// The host's idea of when a packet is through runs ahead of a line that a busy adapter or driver
// holds back; while answers keep coming, the line lives.
TPortTime TFastChannel::AnswerBy(int32_t WaitMs) const {
  return std::max(Flight.front().Out, LastAnswer) + milliseconds(WaitMs);
}

// An attempt's answer within WaitMs: other bytes are late answers to packets sent before the
// attempt, or noise, and are passed over until the time is up.
bool TFastChannel::Checked(int32_t WaitMs) {
  const TPortTime Deadline = AnswerBy(WaitMs);
  uint8_t Reply = 0;
  while (Answer(Reply, Deadline))
    if (Reply == Flight.front().Sequence) return true;
  return false;
}

bool TFastChannel::Answer(uint8_t& Reply, TPortTime Deadline) {
  const auto Left = std::chrono::ceil<milliseconds>(Deadline - Session.Now()).count();
  const bool Answered =
      Session.ReceiveByte(Reply, static_cast<int32_t>(std::max<int64_t>(Left, 0))).Ok();
  if (Answered) LastAnswer = Session.Now();
  return Answered;
}

bool TFastChannel::Receive(std::string& Into, std::size_t Count, int32_t TimeoutMs) {
  for (std::size_t Taken = 0; Taken < Count; ++Taken) {
    uint8_t Byte = 0;
    if (!Session.ReceiveByte(Byte, TimeoutMs).Ok()) return false;
    Into.push_back(static_cast<char>(Byte));
  }
  return true;
}

// A read that ends on a line error ends the discarding early; the host's side stays idle anyway.
void TFastChannel::Quiet(int32_t IdleMsBefore) {
  Session.WaitUntil(LineFree);
  Session.DiscardInput(IdleMsBefore);
  Session.WaitUntil(LineFree + milliseconds(IdleMsBefore));
}
