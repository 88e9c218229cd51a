// The two boot loaders a virtual chip can run (the chip's own ROM on the cog emulator, or the
// boot loader model), and the RC clocks and link rates the built qkl meets them at. Scenarios
// that run on both loaders show where they agree.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "sim/ChipSettings.h"
#include "tests/e2e/ReadBackRun.h"

namespace e2e {

enum class LoaderKind { Rom, Model };

std::string LoaderName(LoaderKind Kind);
// Why a test of this loader cannot run here (an emulator too slow for the host's reply limits,
// or no ROM files, which fails the test where the ROM is required); empty when it can.
std::string SkipReason(LoaderKind Kind);
// A chip whose EEPROM lives in EepromPath, on the given RC clock, booting with that loader.
qkl::sim::ChipSettings LoaderChip(LoaderKind Kind, const std::string& EepromPath, double ClockMhz);

struct ClockAndRate {
  int ClockMhz;
  bool FastLink;  // 230400 baud (-f); otherwise 115200
};

void PrintTo(const ClockAndRate& Each, std::ostream* Into);
std::string ClockAndRateName(const ::testing::TestParamInfo<ClockAndRate>& Info);

// At 8 MHz and 230400 baud the boot loader's receive loop misses the host's handshake after some
// resets, as on a real chip: its calibration of the host's pulses can round up so that a 0 after
// a one-bit gap reads as 1. A user then simply runs qkl again. Runs Qkl again while it ends as a
// run without a chip does, up to a dozen times at that combination (once elsewhere); gives the
// last run.
TimedRun UntilFound(const ClockAndRate& Combination, const std::function<TimedRun()>& Qkl);

}  // namespace e2e
