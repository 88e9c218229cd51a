// Checks the levels of an I2C bus against the timing minimums of a 400 kHz 24LC256-class
// EEPROM and records every violation with the cycle and the rule.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qkl::devices {

struct I2cViolation {
  uint64_t cycle;    // when the too-early edge happened
  std::string rule;  // "tLOW (SCL low time)", ...
  double measuredNs;
  double minimumNs;

  // "cycle 1234: tLOW (SCL low time) 800 ns, minimum 1300 ns"
  std::string Describe() const;
};

class I2cTimingChecker {
 public:
  // Levels of both lines at `seconds` (cycle `cycle`); call at every change of either.
  // SCL falling is taken before an SDA change at the same moment, SCL rising after it.
  void Observe(uint64_t cycle, double seconds, bool scl, bool sda);

  // A line driven high by the master while the device pulls it low.
  void ReportContention(uint64_t cycle, const std::string& line);

  const std::vector<I2cViolation>& Violations() const { return violations_; }
  void Clear() { violations_.clear(); }

 private:
  void SclFalls(uint64_t cycle, double seconds);
  void SclRises(uint64_t cycle, double seconds);
  void SdaChanges(uint64_t cycle, double seconds, bool sda);
  void Require(uint64_t cycle, const char* rule, double since, double now, double minimumNs);

  bool started_ = false;  // levels seen once
  bool scl_ = true;
  bool sda_ = true;
  double sclRise_ = -1;
  double sclFall_ = -1;
  double sdaChange_ = -1;
  double start_ = -1;
  double stop_ = -1;
  std::vector<I2cViolation> violations_;
};

}  // namespace qkl::devices
