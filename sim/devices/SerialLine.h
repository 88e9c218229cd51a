// The host's serial link on the chip's pins: the host's bytes drive P31 (10 bit times a byte,
// least significant bit first, idle high between bytes), and P30 is sampled as a UART
// receiver at the same rate, the bytes it forms going back to the host.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "sim/devices/PinDevice.h"

namespace qkl::devices {

struct SerialLineConfig {
  double baud = 115200;
  uint32_t hostToChipPin = 31;     // the chip's RX
  uint32_t chipToHostPin = 30;     // the chip's TX
  bool pullUpOnChipToHost = true;  // the host adapter's input holds an undriven line high
  int stopBits = 1;                // of the host's frames (the receiver needs only one)
};

class SerialLine : public PinDevice {
 public:
  // Drives the host line idle high from now on. Throws std::invalid_argument for a rate <= 0 or
  // stop bits other than 1 or 2.
  SerialLine(cog::Chip& chip, const SerialLineConfig& config = {});

  // Queues bytes; the first starts now if the line is idle, the rest follow back to back.
  void Send(const cog::Chip& chip, std::string_view bytes);
  bool Sending() const { return !queue_.empty(); }
  // The time at which everything queued will have been sent (now when idle).
  double SendDoneSeconds(const cog::Chip& chip) const;

  // The bytes received since the last call; with `starts`, also the chip time at which each one's
  // start bit began.
  std::string TakeReceived(std::vector<double>* starts = nullptr);
  // Frames whose stop bit was low (the byte is still delivered, as a UART does).
  uint64_t FramingErrors() const { return framingErrors_; }

  uint32_t WatchedPins() const override { return 1u << config_.chipToHostPin; }
  uint64_t NextEventCycle(const cog::Chip& chip) const override;
  void Update(cog::Chip& chip) override;

 private:
  double BitSeconds() const { return 1.0 / config_.baud; }
  int SentFrameBits() const { return 9 + config_.stopBits; }  // start, 8 data, stop bits
  double NextChangeSeconds() const;
  double SampleSeconds(int sample) const;
  void Transmit(cog::Chip& chip);
  void Receive(cog::Chip& chip);
  void Sample(bool level);

  SerialLineConfig config_;

  // Transmitter: the byte at the queue's front starts (or started) at frameStart_.
  std::deque<uint8_t> queue_;
  double frameStart_ = 0;
  int sentBits_ = 0;    // bits of the front byte already on the wire (0..10)
  bool driven_ = true;  // the host line's level

  // Receiver: samples at the middle of each bit after a falling edge.
  bool lastLevel_ = true;
  bool receiving_ = false;
  double rxStart_ = 0;
  int rxSamples_ = 0;  // 0: start bit check, 1..8: data, 9: stop bit
  uint8_t rxByte_ = 0;
  std::string received_;
  std::vector<double> receivedStarts_;
  uint64_t framingErrors_ = 0;
};

}  // namespace qkl::devices
