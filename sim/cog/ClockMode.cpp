#include "sim/cog/ClockMode.h"

#include <stdexcept>
#include <string>

#include "sim/cog/EmulationError.h"
#include "sim/cog/Instruction.h"

namespace qkl::cog {

namespace {

constexpr uint8_t kPllEnable = 0x40;
constexpr uint8_t kOscillatorEnable = 0x20;

void Require(bool inRange, const std::string& what) {
  if (!inRange) throw std::invalid_argument(what);
}

}  // namespace

void ValidateClockSources(const ClockSources& sources) {
  Require(sources.rcFastHz >= 8e6 && sources.rcFastHz <= 20e6,
          "the RCFAST frequency must be between 8 and 20 MHz");
  Require(sources.rcSlowHz >= 13e3 && sources.rcSlowHz <= 33e3,
          "the RCSLOW frequency must be between 13 and 33 kHz");
  Require(sources.crystalHz == 0 || (sources.crystalHz > 0 && sources.crystalHz <= 80e6),
          "the crystal frequency must be 0 (none) or up to 80 MHz");
}

double ClockFrequency(uint8_t mode, const ClockSources& sources) {
  const uint32_t select = mode & 7;
  if (select == 0) return sources.rcFastHz;
  if (select == 1) return sources.rcSlowHz;
  const bool oscillator = mode & kOscillatorEnable;
  const bool pll = mode & kPllEnable;
  if (!oscillator || (select > 2 && !pll)) return 0;
  if (sources.crystalHz == 0)
    throw EmulationError("CLK = " + Hex(mode, 2) +
                         " selects the crystal input, but no crystal frequency is configured");
  return select == 2 ? sources.crystalHz : sources.crystalHz * (1u << (select - 3));
}

}  // namespace qkl::cog
