#include "sim/BootTiming.h"

#include <cmath>

namespace qkl::sim {

namespace {

Duration Seconds(double value) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(value));
}

}  // namespace

BootTiming BootTiming::For(const ChipSettings& settings) {
  // The ROM counts its time limits in polls of the receive pin: 150 ms (from reset) and 100 ms
  // (per answered bit or received long) at 20 MHz, so longer on a slower RC clock.
  const double at20MHz = 20e6 / settings.clockHz;
  // Working times measured on a cycle simulation of the chip running its ROM at 12 MHz with an
  // EEPROM write cycle of 5 ms: RAM verdict ~0.1 s after the last long, programming 3.96 s
  // (512 pages of which 512 x 5 ms are write cycles that do not scale with the clock),
  // verifying 1.32 s.
  const double at12MHz = 12e6 / settings.clockHz;
  const double writeCycles = 512 * 0.005;
  BootTiming timing{};
  timing.hostWindow = Seconds(0.150 * at20MHz);
  timing.bitLimit = Seconds(0.100 * at20MHz);
  if (!settings.instant) {
    timing.ramVerdict = Seconds(0.1 * at12MHz);
    timing.programming = Seconds(writeCycles + (3.96 - writeCycles) * at12MHz);
    timing.verifying = Seconds(1.32 * at12MHz);
  }
  return timing;
}

}  // namespace qkl::sim

namespace qkl::sim {

std::optional<int> PulseMeter::Measure(double fall, double rise, double busy) {
  const double grid = nextPoll_.value_or(0);
  const double sawFall = grid >= fall && nextPoll_
                             ? grid
                             : grid + kPollClocks * std::ceil((fall - grid) / kPollClocks);
  if (sawFall >= rise) {
    nextPoll_ = sawFall;
    return std::nullopt;
  }
  const double firstCount = sawFall + kCountStart;
  const int count =
      firstCount < rise ? static_cast<int>(std::ceil((rise - firstCount) / kPollClocks)) : 0;
  nextPoll_ = firstCount + kPollClocks * count + busy;
  return count;
}

}  // namespace qkl::sim
