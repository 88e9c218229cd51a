// A 24LC256 (32 KB I2C EEPROM) on the chip's P28 (SCL) and P29 (SDA): device address, two
// address bytes, sequential reads that wrap from $7FFF to $0000, acknowledges, page writes
// (wrapping inside 64 bytes) stored after a self-timed write cycle during which it does not
// acknowledge, and a START or STOP anywhere resetting its state. The bus timing is checked
// against the 400 kHz minimums.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "sim/devices/I2cTimingChecker.h"
#include "sim/devices/PinDevice.h"

namespace qkl::devices {

constexpr std::size_t kEepromSize = 32768;
using EepromBytes = std::span<uint8_t, kEepromSize>;

enum class EepromFault {
  kNone,
  kAbsent,      // nothing on the bus: no acknowledge, SDA only pulled up
  kSdaHeldLow,  // something holds the data line low
};

struct EepromConfig {
  uint32_t sclPin = 28;
  uint32_t sdaPin = 29;
  uint32_t chipSelect = 0;  // A2..A0: answers to $A0 | chipSelect << 1
  double writeCycleSeconds = 5e-3;
  double outputDelaySeconds = 900e-9;  // SCL low to data out (the datasheet's maximum)
  bool pullUpOnScl = true;             // SDA always has its pull-up
};

class I2cEeprom : public PinDevice {
 public:
  // `store` is the array's contents, owned by the caller; it is written at the end of each
  // write cycle, after which `onStore` (if set) is told which bytes changed.
  I2cEeprom(cog::Chip& chip, EepromBytes store, const EepromConfig& config = {});

  void SetFault(EepromFault fault);
  void OnStore(std::function<void(uint32_t address, uint32_t length)> listener) {
    onStore_ = std::move(listener);
  }

  bool WriteCyclePending() const { return writeEnds_ >= 0; }
  const std::vector<I2cViolation>& Violations() const { return checker_.Violations(); }
  void ClearViolations() { checker_.Clear(); }

  uint32_t WatchedPins() const override { return scl_ | sda_; }
  uint64_t NextEventCycle(const cog::Chip& chip) const override;
  void Update(cog::Chip& chip) override;

 private:
  enum class State { kIdle, kControl, kAddressHigh, kAddressLow, kWriteData, kReadData, kIgnore };

  bool Busy(double now) const { return writeEnds_ >= 0 && now < writeEnds_; }
  bool Transmitting() const { return state_ == State::kReadData; }
  void SclFalls(double now);
  void SclRises(bool sda, double now);
  void Start();
  void Stop(double now);
  void ByteReceived(uint8_t byte, double now);
  void BeginPage();
  void OutputDataBit(int index, double now);
  void Output(bool level, double now);
  void FinishWriteCycle();
  void Drive(cog::Chip& chip);
  void CheckContention(const cog::Chip& chip);

  EepromBytes store_;
  EepromConfig config_;
  uint32_t scl_;
  uint32_t sda_;
  EepromFault fault_ = EepromFault::kNone;
  std::function<void(uint32_t, uint32_t)> onStore_;
  I2cTimingChecker checker_;

  bool lastScl_ = true;
  bool lastSda_ = true;
  State state_ = State::kIdle;
  State nextState_ = State::kIdle;  // taken on at the end of the acknowledge clock
  int bit_ = 0;  // SCL rises of the current byte so far: 1..8 data, 9 the acknowledge
  uint8_t shift_ = 0;
  bool acking_ = false;  // this byte is acknowledged by us
  bool masterAcked_ = true;
  uint16_t address_ = 0;
  uint8_t addressHigh_ = 0;
  bool contention_ = false;

  // The page being written: offsets within it that received data.
  std::array<uint8_t, 64> page_{};
  std::array<bool, 64> pageWritten_{};
  uint16_t pageBase_ = 0;
  bool pageDirty_ = false;
  double writeEnds_ = -1;  // seconds at which the write cycle completes

  // What we drive on SDA: low, or released; applied at outputAt_ (seconds).
  bool outputLow_ = false;
  bool driving_ = false;
  double outputAt_ = -1;
};

}  // namespace qkl::devices
