#include "sim/BootTiming.h"

#include <cmath>

namespace qkl::sim {

namespace {

constexpr double kPages = 512;
constexpr double kProgrammingClocks = 17.6e6;
constexpr double kWriteTries = 400;
// A try of the write command: a start condition, the device address byte with its acknowledge
// clock, and a stop condition. The ROM on the cog emulator at 20 MHz waits out a write cycle of
// 10 ms and gives up on one of 11 ms: 500 to 550 clocks a try.
constexpr double kClocksPerTry = 520;
constexpr double kLaunchClocks = 400000;

Duration Seconds(double value) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(value));
}

}  // namespace

BootTiming BootTiming::For(const ChipSettings& settings) {
  // The ROM counts its time limits in polls of the receive pin: 150 ms (from reset) and 100 ms
  // (per answered bit or received long) at 20 MHz, so longer on a slower RC clock.
  const double at20MHz = 20e6 / settings.clockHz;
  // Working times measured on a cycle simulation of the chip running its ROM: RAM verdict ~0.1 s
  // after the last long at 12 MHz; programming 512 write cycles (which do not scale with the
  // clock) and 17.6 s of work at 1 MHz (2.2 s at 8 MHz); verifying 1.32 s at 12 MHz.
  const double at12MHz = 12e6 / settings.clockHz;
  const double work = kProgrammingClocks / settings.clockHz;
  const double tries = kWriteTries * kClocksPerTry / settings.clockHz;
  BootTiming timing{};
  timing.hostWindow = Seconds(0.150 * at20MHz);
  timing.bitLimit = Seconds(0.100 * at20MHz);
  timing.pagesFit = settings.pageWriteSeconds <= tries;
  if (!settings.instant) {
    timing.ramVerdict = Seconds(0.1 * at12MHz);
    timing.programming = Seconds(work + kPages * settings.pageWriteSeconds);
    timing.programmingFailure = Seconds(work / kPages + tries);
    timing.verifying = Seconds(1.32 * at12MHz);
    timing.launchWait = Seconds(kLaunchClocks / settings.clockHz);
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
