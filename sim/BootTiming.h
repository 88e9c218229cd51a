// The boot loader's time limits and working times at a given RC clock, and how its receive loop
// measures the host's low pulses.
#pragma once

#include <optional>

#include "sim/ChipSettings.h"

namespace sim {

struct BootTiming {
  Duration HostWindow;   // from reset to the end of the 250 host bits
  Duration BitLimit;     // for each answered bit and each received long
  Duration RamVerdict;   // from the last image long to the RAM checksum verdict
  Duration Programming;  // writing the 32 KB EEPROM
  Duration Verifying;    // reading it back and comparing

  static BootTiming For(const ChipSettings& Settings);
};

// The ROM's receive loop polls its receive pin once every 8 clocks (TEST and DJNZ). It counts a
// low pulse in polls from 16 clocks after the poll that saw the fall, and polls for the next
// fall a fixed number of clocks (the work it does with the pulse) after the poll that saw the
// rise. On a slow clock at a fast rate that work outlasts a one-bit gap, so the next pulse is
// counted short.
class PulseMeter {
public:
  // Clocks from the poll that saw the rise to the first poll for the next fall.
  static constexpr double AfterFirstCalibration = 32;
  static constexpr double AfterSecondCalibration = 40;
  static constexpr double AfterHandshakeBit = 52;
  static constexpr double InsideLong = 36;
  // Includes the hub write of the long, 8 to 23 clocks by the hub window; taken at its middle.
  static constexpr double AfterLong = 80;
  static constexpr double AfterSkippedPoll = 32;

  // The line has been idle: the loop waits for the next fall, polling on its own grid.
  void Idle() { NextPoll.reset(); }
  // The polls counted low for a pulse from clock Fall to clock Rise (counted from the reset);
  // nothing when the loop polled for the fall only after the rise, missing the pulse. The loop
  // then works Busy clocks before it polls again.
  std::optional<int> Measure(double Fall, double Rise, double Busy);

private:
  static constexpr double PollClocks = 8;
  static constexpr double CountStart = 16;
  std::optional<double> NextPoll;
};

}  // namespace sim
