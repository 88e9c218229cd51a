#include "sim/BootTiming.h"

#include <cmath>

namespace sim {

namespace {

Duration Seconds(double Value) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(Value));
}

}  // namespace

BootTiming BootTiming::For(const ChipSettings& Settings) {
  // The ROM counts its time limits in polls of the receive pin: 150 ms (from reset) and 100 ms
  // (per answered bit or received long) at 20 MHz, so longer on a slower RC clock.
  const double At20MHz = 20e6 / Settings.ClockHz;
  // Working times measured on a cycle simulation of the chip running its ROM at 12 MHz with an
  // EEPROM write cycle of 5 ms: RAM verdict ~0.1 s after the last long, programming 3.96 s
  // (512 pages of which 512 x 5 ms are write cycles that do not scale with the clock),
  // verifying 1.32 s.
  const double At12MHz = 12e6 / Settings.ClockHz;
  const double WriteCycles = 512 * 0.005;
  BootTiming Timing{};
  Timing.HostWindow = Seconds(0.150 * At20MHz);
  Timing.BitLimit = Seconds(0.100 * At20MHz);
  if (!Settings.Instant) {
    Timing.RamVerdict = Seconds(0.1 * At12MHz);
    Timing.Programming = Seconds(WriteCycles + (3.96 - WriteCycles) * At12MHz);
    Timing.Verifying = Seconds(1.32 * At12MHz);
  }
  return Timing;
}

}  // namespace sim

namespace sim {

std::optional<int> PulseMeter::Measure(double Fall, double Rise, double Busy) {
  const double Grid = NextPoll.value_or(0);
  const double SawFall =
      Grid >= Fall && NextPoll ? Grid : Grid + PollClocks * std::ceil((Fall - Grid) / PollClocks);
  if (SawFall >= Rise) {
    NextPoll = SawFall;
    return std::nullopt;
  }
  const double FirstCount = SawFall + CountStart;
  const int Count =
      FirstCount < Rise ? static_cast<int>(std::ceil((Rise - FirstCount) / PollClocks)) : 0;
  NextPoll = FirstCount + PollClocks * Count + Busy;
  return Count;
}

}  // namespace sim
