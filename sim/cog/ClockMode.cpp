#include "sim/cog/ClockMode.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "sim/cog/EmulationError.h"
#include "sim/cog/Instruction.h"

namespace qkl::cog {

namespace {

constexpr uint8_t kPllEnable = 0x40;
constexpr uint8_t kOscillatorEnable = 0x20;
constexpr uint32_t kSelectXin = 2;
constexpr uint32_t kSelectFirstPllTap = 3;

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
  if (!oscillator || (select >= kSelectFirstPllTap && !pll)) return 0;
  if (sources.crystalHz == 0)
    throw EmulationError("CLK = " + Hex(mode, 2) +
                         " selects the crystal input, but no crystal frequency is configured");
  return select == kSelectXin ? sources.crystalHz
                              : sources.crystalHz * (1u << (select - kSelectFirstPllTap));
}

void ClockCircuits::Write(uint8_t mode, double seconds) {
  if (!(mode & kOscillatorEnable))
    oscillatorOnAt_ = kOff;
  else if (oscillatorOnAt_ == kOff)
    oscillatorOnAt_ = seconds;
  if (!(mode & kPllEnable))
    pllOnAt_ = kOff;
  else if (pllOnAt_ == kOff)
    pllOnAt_ = seconds;

  const uint32_t select = mode & 7;
  if (select < kSelectXin || !(mode & kOscillatorEnable)) return;
  const bool fromPll = select >= kSelectFirstPllTap;
  if (fromPll && !(mode & kPllEnable)) return;  // no clock at all
  const double onAt = fromPll ? std::max(oscillatorOnAt_, pllOnAt_) : oscillatorOnAt_;
  if (seconds >= onAt + kSettlingSeconds) return;
  char text[160];
  std::snprintf(text, sizeof text,
                "CLK = %s takes the clock from the %s %.3f ms after %s enabled; %s %.0f ms to "
                "settle first",
                Hex(mode, 2).c_str(), fromPll ? "PLL" : "oscillator", 1e3 * (seconds - onAt),
                fromPll ? "the oscillator and PLL were" : "it was",
                fromPll ? "they need" : "it needs", 1e3 * kSettlingSeconds);
  throw EmulationError(text);
}

void ClockCircuits::Settle(uint8_t mode, double seconds) {
  if (mode & kOscillatorEnable)
    oscillatorOnAt_ = std::min(oscillatorOnAt_, seconds - kSettlingSeconds);
  if (mode & kPllEnable) pllOnAt_ = std::min(pllOnAt_, seconds - kSettlingSeconds);
}

}  // namespace qkl::cog
