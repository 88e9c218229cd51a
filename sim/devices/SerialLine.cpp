#include "sim/devices/SerialLine.h"

#include <algorithm>
#include <stdexcept>

namespace qkl::devices {

using cog::Chip;

namespace {

constexpr int kFrameBits = 10;

// Bit k of a frame: 0 the start bit, 1..8 the data bits from the least significant, 9 on the stop
// bits.
bool FrameBit(uint8_t byte, int k) {
  if (k == 0) return false;
  if (k >= kFrameBits - 1) return true;
  return (byte >> (k - 1)) & 1;
}

}  // namespace

SerialLine::SerialLine(Chip& chip, const SerialLineConfig& config) : config_(config) {
  if (!(config_.baud > 0)) throw std::invalid_argument("the serial line needs a positive bit rate");
  if (config_.stopBits < 1 || config_.stopBits > 2)
    throw std::invalid_argument("the host's frames have one or two stop bits");
  chip.DriveExternally(1u << config_.hostToChipPin, 1u << config_.hostToChipPin);
  if (config_.pullUpOnChipToHost) chip.SetPullUps(chip.PullUps() | (1u << config_.chipToHostPin));
  lastLevel_ = (chip.PinLevels() >> config_.chipToHostPin) & 1;
}

void SerialLine::Send(const Chip& chip, std::string_view bytes) {
  if (queue_.empty()) frameStart_ = std::max(frameStart_, chip.Seconds());
  queue_.insert(queue_.end(), bytes.begin(), bytes.end());
}

double SerialLine::SendDoneSeconds(const Chip& chip) const {
  if (queue_.empty()) return std::max(frameStart_, chip.Seconds());
  return frameStart_ + static_cast<double>(queue_.size() * SentFrameBits()) * BitSeconds();
}

std::string SerialLine::TakeReceived(std::vector<double>* starts) {
  std::string bytes;
  bytes.swap(received_);
  if (starts) starts->swap(receivedStarts_);
  receivedStarts_.clear();
  return bytes;
}

// The line's own events are only those that matter: the next bit that changes the host line's
// level (or the last one queued), and the receiver's stop-bit sample. Its other samples are taken
// late, from the level P30 held, at the next change of P30 (which the device watches) or at the
// stop bit, so a fast line costs an event per edge rather than two per bit.
uint64_t SerialLine::NextEventCycle(const Chip& chip) const {
  uint64_t next = Chip::kNever;
  if (!queue_.empty()) next = chip.CycleAt(NextChangeSeconds());
  if (receiving_) next = std::min(next, chip.CycleAt(SampleSeconds(kFrameBits - 1)));
  return next;
}

// When the next bit that drives the host line to another level starts, with the frame starts
// summed as Transmit() sums them; the last queued bit when none does.
double SerialLine::NextChangeSeconds() const {
  double start = frameStart_;
  int bit = sentBits_;
  double at = start;
  for (const uint8_t byte : queue_) {
    for (; bit < SentFrameBits(); ++bit) {
      at = start + bit * BitSeconds();
      if (FrameBit(byte, bit) != driven_) return at;
    }
    start += SentFrameBits() * BitSeconds();
    bit = 0;
  }
  return at;
}

double SerialLine::SampleSeconds(int sample) const {
  return rxStart_ + (sample + 0.5) * BitSeconds();
}

void SerialLine::Update(Chip& chip) {
  Transmit(chip);
  Receive(chip);
}

// Puts every bit that is due on the host line.
void SerialLine::Transmit(Chip& chip) {
  const uint32_t pin = 1u << config_.hostToChipPin;
  while (!queue_.empty()) {
    if (chip.CycleAt(frameStart_ + sentBits_ * BitSeconds()) > chip.Cycle()) return;
    driven_ = FrameBit(queue_.front(), sentBits_);
    chip.DriveExternally(pin, driven_ ? pin : 0);
    if (++sentBits_ == SentFrameBits()) {
      queue_.pop_front();
      frameStart_ += SentFrameBits() * BitSeconds();
      sentBits_ = 0;
    }
  }
}

// Samples due before now see the level P30 held until now; one due now sees the level it has.
void SerialLine::Receive(Chip& chip) {
  const bool level = (chip.PinLevels() >> config_.chipToHostPin) & 1;
  for (uint64_t at; receiving_ && (at = chip.CycleAt(SampleSeconds(rxSamples_))) <= chip.Cycle();)
    Sample(at < chip.Cycle() ? lastLevel_ : level);
  if (!receiving_ && lastLevel_ && !level) {
    receiving_ = true;
    rxStart_ = chip.Seconds();
    rxSamples_ = 0;
    rxByte_ = 0;
  }
  lastLevel_ = level;
}

void SerialLine::Sample(bool level) {
  const int k = rxSamples_++;
  if (k == 0) {
    if (level) receiving_ = false;  // a glitch, not a start bit
    return;
  }
  if (k < kFrameBits - 1) {
    rxByte_ = static_cast<uint8_t>(rxByte_ | (level ? 1u << (k - 1) : 0u));
    return;
  }
  if (!level) ++framingErrors_;
  received_.push_back(static_cast<char>(rxByte_));
  receivedStarts_.push_back(rxStart_);
  receiving_ = false;
}

}  // namespace qkl::devices
