#include "sim/devices/I2cEeprom.h"

#include <algorithm>

namespace qkl::devices {

using cog::Chip;

namespace {

constexpr uint32_t kAddressMask = kEepromSize - 1;
constexpr uint32_t kPageSize = 64;

}  // namespace

I2cEeprom::I2cEeprom(Chip& chip, EepromBytes store, const EepromConfig& config)
    : store_(store), config_(config), scl_(1u << config.sclPin), sda_(1u << config.sdaPin) {
  chip.SetPullUps(chip.PullUps() | sda_ | (config_.pullUpOnScl ? scl_ : 0));
  lastScl_ = chip.PinLevels() & scl_;
  lastSda_ = chip.PinLevels() & sda_;
}

void I2cEeprom::SetFault(EepromFault fault) {
  fault_ = fault;
  state_ = State::kIdle;
  Output(fault != EepromFault::kSdaHeldLow, -1);
}

uint64_t I2cEeprom::NextEventCycle(const Chip& chip) const {
  uint64_t next = Chip::kNever;
  if (outputAt_ >= 0) next = chip.CycleAt(outputAt_);
  if (writeEnds_ >= 0) next = std::min(next, chip.CycleAt(writeEnds_));
  return next;
}

void I2cEeprom::Update(Chip& chip) {
  const double now = chip.Seconds();
  if (writeEnds_ >= 0 && chip.CycleAt(writeEnds_) <= chip.Cycle()) FinishWriteCycle();
  Drive(chip);
  const bool scl = chip.PinLevels() & scl_;
  const bool sda = chip.PinLevels() & sda_;
  checker_.Observe(chip.Cycle(), now, scl, sda);
  if (fault_ == EepromFault::kNone) {
    // SCL falling first, then an SDA change (START/STOP while SCL is high), then SCL rising.
    if (lastScl_ && !scl) {
      lastScl_ = false;
      SclFalls(now);
    }
    if (sda != lastSda_ && lastScl_) sda ? Stop(now) : Start();
    if (!lastScl_ && scl) {
      lastScl_ = true;
      SclRises(sda, now);
    }
  }
  lastScl_ = scl;
  lastSda_ = sda;
  Drive(chip);
  CheckContention(chip);
}

void I2cEeprom::Start() {
  state_ = State::kControl;
  bit_ = 0;
  shift_ = 0;
  pageDirty_ = false;  // a write is only started by a STOP
  Output(true, -1);
}

void I2cEeprom::Stop(double now) {
  if (state_ == State::kWriteData && pageDirty_) writeEnds_ = now + config_.writeCycleSeconds;
  state_ = State::kIdle;
  bit_ = 0;
  Output(true, -1);
}

// Bits are taken on the rising edge; the ninth rise is the acknowledge clock.
void I2cEeprom::SclRises(bool sda, double now) {
  if (state_ == State::kIdle || state_ == State::kIgnore) return;
  ++bit_;
  if (bit_ <= 8 && !Transmitting()) {
    shift_ = static_cast<uint8_t>((shift_ << 1) | (sda ? 1 : 0));
    if (bit_ == 8) ByteReceived(shift_, now);
  } else if (bit_ == 9 && Transmitting()) {
    masterAcked_ = !sda;
    address_ = static_cast<uint16_t>((address_ + 1) & kAddressMask);
  }
}

// Outputs change after SCL falls: data bits, the acknowledge, and its release.
void I2cEeprom::SclFalls(double now) {
  if (state_ == State::kIdle || state_ == State::kIgnore || bit_ == 0) return;
  if (Transmitting()) {
    if (bit_ < 8) {
      OutputDataBit(bit_, now);
    } else if (bit_ == 8) {
      Output(true, now);  // the master acknowledges
    } else {
      bit_ = 0;
      if (masterAcked_) {
        OutputDataBit(0, now);
      } else {
        state_ = State::kIgnore;
        Output(true, now);
      }
    }
    return;
  }
  if (bit_ == 8) {
    Output(!acking_, now);
    return;
  }
  if (bit_ == 9) {
    bit_ = 0;
    shift_ = 0;
    state_ = nextState_;
    if (Transmitting()) {
      masterAcked_ = true;
      OutputDataBit(0, now);
    } else {
      Output(true, now);
    }
  }
}

void I2cEeprom::ByteReceived(uint8_t byte, double now) {
  acking_ = true;
  switch (state_) {
    case State::kControl: {
      const uint8_t device = static_cast<uint8_t>(0xA0 | ((config_.chipSelect & 7) << 1));
      acking_ = (byte & 0xFE) == device && !Busy(now);
      nextState_ = !acking_ ? State::kIgnore : (byte & 1) ? State::kReadData : State::kAddressHigh;
      break;
    }
    case State::kAddressHigh:
      addressHigh_ = byte;
      nextState_ = State::kAddressLow;
      break;
    case State::kAddressLow:
      address_ = static_cast<uint16_t>(((addressHigh_ << 8) | byte) & kAddressMask);
      BeginPage();
      nextState_ = State::kWriteData;
      break;
    default:  // data for the page; the address wraps inside it
      page_[address_ % kPageSize] = byte;
      pageWritten_[address_ % kPageSize] = true;
      pageDirty_ = true;
      address_ = static_cast<uint16_t>(pageBase_ | ((address_ + 1) % kPageSize));
      nextState_ = State::kWriteData;
      break;
  }
  if (!acking_) state_ = State::kIgnore;
}

void I2cEeprom::BeginPage() {
  pageBase_ = static_cast<uint16_t>(address_ & ~(kPageSize - 1));
  pageWritten_.fill(false);
  pageDirty_ = false;
}

// Bit `index` of the byte at the address pointer, the most significant first.
void I2cEeprom::OutputDataBit(int index, double now) {
  Output((store_[address_] >> (7 - index)) & 1, now);
}

// The output follows after the data-out delay; `now` < 0 releases at once.
void I2cEeprom::Output(bool level, double now) {
  outputLow_ = !level;
  outputAt_ = now < 0 ? 0 : now + config_.outputDelaySeconds;
}

void I2cEeprom::Drive(Chip& chip) {
  if (outputAt_ < 0 || chip.CycleAt(outputAt_) > chip.Cycle()) return;
  outputAt_ = -1;
  driving_ = outputLow_;
  if (driving_) {
    chip.DriveExternally(sda_, 0);
  } else {
    chip.ReleaseExternally(sda_);
  }
}

void I2cEeprom::FinishWriteCycle() {
  writeEnds_ = -1;
  uint32_t first = kPageSize;
  uint32_t last = 0;
  for (uint32_t i = 0; i < kPageSize; ++i) {
    if (!pageWritten_[i]) continue;
    store_[pageBase_ + i] = page_[i];
    first = std::min(first, i);
    last = i;
  }
  pageWritten_.fill(false);
  if (onStore_ && first <= last) onStore_(pageBase_ + first, last - first + 1);
}

void I2cEeprom::CheckContention(const Chip& chip) {
  const bool contention = driving_ && (chip.ChipDirections() & chip.ChipOutputs() & sda_);
  if (contention && !contention_) checker_.ReportContention(chip.Cycle(), "SDA");
  contention_ = contention;
}

}  // namespace qkl::devices
