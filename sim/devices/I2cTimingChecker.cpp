#include "sim/devices/I2cTimingChecker.h"

#include <cmath>

namespace qkl::devices {

namespace {

// 24LC256 at Vcc >= 2.5 V (400 kHz class).
constexpr double kHighNs = 600;
constexpr double kLowNs = 1300;
constexpr double kStartSetupNs = 600;
constexpr double kStartHoldNs = 600;
constexpr double kDataSetupNs = 100;
constexpr double kStopSetupNs = 600;
constexpr double kBusFreeNs = 1300;

}  // namespace

std::string I2cViolation::Describe() const {
  return "cycle " + std::to_string(cycle) + ": " + rule + " " +
         std::to_string(std::lround(measuredNs)) + " ns, minimum " +
         std::to_string(std::lround(minimumNs)) + " ns";
}

void I2cTimingChecker::Require(uint64_t cycle, const char* rule, double since, double now,
                               double minimumNs) {
  if (since < 0) return;
  const double measured = (now - since) * 1e9;
  // Allow for rounding of cycle times to seconds.
  if (measured + 1e-3 < minimumNs) violations_.push_back({cycle, rule, measured, minimumNs});
}

void I2cTimingChecker::Observe(uint64_t cycle, double seconds, bool scl, bool sda) {
  if (!started_) {
    started_ = true;
    scl_ = scl;
    sda_ = sda;
    return;
  }
  if (scl_ && !scl) SclFalls(cycle, seconds);
  if (sda != sda_) SdaChanges(cycle, seconds, sda);
  if (!scl_ && scl) SclRises(cycle, seconds);
}

void I2cTimingChecker::SclFalls(uint64_t cycle, double seconds) {
  Require(cycle, "tHIGH (SCL high time)", sclRise_, seconds, kHighNs);
  if (start_ > sclRise_) Require(cycle, "tHD:STA (START hold time)", start_, seconds, kStartHoldNs);
  scl_ = false;
  sclFall_ = seconds;
}

void I2cTimingChecker::SclRises(uint64_t cycle, double seconds) {
  Require(cycle, "tLOW (SCL low time)", sclFall_, seconds, kLowNs);
  if (sdaChange_ > sclFall_)
    Require(cycle, "tSU:DAT (data setup time)", sdaChange_, seconds, kDataSetupNs);
  scl_ = true;
  sclRise_ = seconds;
}

// With SCL high an SDA fall is a START and a rise is a STOP.
void I2cTimingChecker::SdaChanges(uint64_t cycle, double seconds, bool sda) {
  if (scl_ && !sda) {
    Require(cycle, "tSU:STA (START setup time)", sclRise_, seconds, kStartSetupNs);
    if (stop_ > start_) Require(cycle, "tBUF (bus free time)", stop_, seconds, kBusFreeNs);
    start_ = seconds;
  } else if (scl_ && sda) {
    Require(cycle, "tSU:STO (STOP setup time)", sclRise_, seconds, kStopSetupNs);
    stop_ = seconds;
  }
  sda_ = sda;
  sdaChange_ = seconds;
}

void I2cTimingChecker::ReportContention(uint64_t cycle, const std::string& line) {
  violations_.push_back({cycle, line + " driven high while the EEPROM pulls it low", 0, 0});
}

}  // namespace qkl::devices
