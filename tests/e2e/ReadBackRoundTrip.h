// Suites run at one internal clock frequency and one link rate each: an image written into the
// EEPROM with qkl -p 3 and read back with qkl -u, with the boot loader model and with the chip's
// own ROM. Each test program instantiates them for the combinations it covers.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "tests/e2e/ReadBackRun.h"

namespace e2e {

struct ClockAndRate {
  int ClockMhz;
  bool FastLink;  // 230400 baud (-f); otherwise 115200
};

void PrintTo(const ClockAndRate& Each, std::ostream* Into);

// At 8 MHz and 230400 baud the boot loader's receive loop misses the host's handshake after some
// resets, as on a real chip: its calibration of the host's pulses can round up so that a 0 after
// a one-bit gap reads as 1. A user then simply runs qkl again. Runs Qkl until it finds the chip,
// up to a dozen times at that combination (once elsewhere), checking that every miss ends as a
// run without a chip does; gives the wall time of the last run.
TimedRun UntilFound(const ClockAndRate& Combination, const std::function<QklRun()>& Qkl);

class ReadBackRoundTrip : public ::testing::TestWithParam<ClockAndRate> {};

// Skipped with a message when the chip's ROM is not at hand.
class RomBoot : public ::testing::TestWithParam<ClockAndRate> {
protected:
  void SetUp() override;
};

std::string ClockAndRateName(const ::testing::TestParamInfo<ClockAndRate>& Info);

}  // namespace e2e
