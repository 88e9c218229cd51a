// Suites run at one internal clock frequency and one link rate each: an image written into the
// EEPROM with qkl -p 3 and read back with qkl -u, with the boot loader model and with the chip's
// own ROM. Each test program instantiates them for the combinations it covers.
#pragma once

#include <gtest/gtest.h>

#include "tests/e2e/LoaderUnderTest.h"

namespace e2e {

class ReadBackRoundTrip : public ::testing::TestWithParam<ClockAndRate> {};

// Skipped with a message when the chip's ROM is not at hand.
class RomBoot : public ::testing::TestWithParam<ClockAndRate> {
protected:
  void SetUp() override;
};

}  // namespace e2e
