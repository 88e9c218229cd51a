// The CLK register: which source clocks the chip for a given register value.
#pragma once

#include <cstdint>

namespace qkl::cog {

struct ClockSources {
  double rcFastHz = 12'000'000;  // the internal fast RC oscillator, 8 to 20 MHz
  double rcSlowHz = 20'000;      // the internal slow RC oscillator, 13 to 33 kHz
  double crystalHz = 0;          // the XI input or crystal; 0 = none fitted
};

// Checks the ranges above; throws std::invalid_argument with a readable message.
void ValidateClockSources(const ClockSources& sources);

// Frequency of the system clock for CLK = `mode`, or 0 when that mode leaves the chip
// without a clock (XIN or a PLL tap selected while the oscillator or PLL is disabled; $02
// is the shutdown value). Bit 7 (reset) is not looked at. Throws EmulationError for a
// crystal mode when no crystal frequency is configured.
double ClockFrequency(uint8_t mode, const ClockSources& sources);

}  // namespace qkl::cog
