// Suites run at one internal clock frequency and one link rate each: an image written into the
// EEPROM with qkl -p 3 and read back with qkl -u, with the boot loader model and with the chip's
// own ROM. Each test program instantiates them for the combinations it covers.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace e2e {

struct ClockAndRate {
  int ClockMhz;
  bool FastLink;  // 230400 baud (-f); otherwise 115200
};

void PrintTo(const ClockAndRate& Each, std::ostream* Into);

class ReadBackRoundTrip : public ::testing::TestWithParam<ClockAndRate> {};

// Skipped with a message when the chip's ROM is not at hand.
class RomBoot : public ::testing::TestWithParam<ClockAndRate> {
protected:
  void SetUp() override;
};

std::string ClockAndRateName(const ::testing::TestParamInfo<ClockAndRate>& Info);

}  // namespace e2e
