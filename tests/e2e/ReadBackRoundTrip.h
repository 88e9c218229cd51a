// An image written into the EEPROM with qkl -p 3 and read back with qkl -u, at one internal
// clock frequency and one link rate.
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

std::string ClockAndRateName(const ::testing::TestParamInfo<ClockAndRate>& Info);

}  // namespace e2e
