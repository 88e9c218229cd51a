// The CLK register: which source clocks the chip for a given register value, and when the
// crystal oscillator and the PLL that CLK switches on are ready to clock it.
#pragma once

#include <cstdint>
#include <limits>

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

// How long the crystal oscillator needs from OSCENA to a steady clock, and the PLL from
// PLLENA to lock (it locks only onto a steady oscillator): the documented wait before a
// program may select either, which is also the least the boot loader waits.
constexpr double kSettlingSeconds = 0.010;

// The oscillator and the PLL as CLK writes switch them on and off.
class ClockCircuits {
 public:
  // CLK = `mode` written at `seconds` of chip time. Throws EmulationError when the mode takes
  // the clock from the oscillator or the PLL before it has settled: a real chip would run on
  // an unsteady clock, which is not modelled.
  void Write(uint8_t mode, double seconds);
  // The circuits that `mode` enables count as settled at `seconds`, as after the wait the boot
  // loader makes before it selects the image's clock.
  void Settle(uint8_t mode, double seconds);

 private:
  static constexpr double kOff = std::numeric_limits<double>::infinity();
  double oscillatorOnAt_ = kOff;
  double pllOnAt_ = kOff;
};

}  // namespace qkl::cog
