// The boot loader's time limits and working times at a given RC clock, and how its receive loop
// measures the host's low pulses.
#pragma once

#include <optional>

#include "sim/ChipSettings.h"

namespace qkl::sim {

struct BootTiming {
  Duration hostWindow;   // from reset to the end of the 250 host bits
  Duration bitLimit;     // for each answered bit and each received long
  Duration ramVerdict;   // from the last image long to the RAM checksum verdict
  Duration programming;  // writing the 32 KB EEPROM
  Duration verifying;    // reading it back and comparing
  // Before it starts an image the loader enables the image's oscillator and PLL with the RC clock
  // still selected and waits 400000 clocks for them to settle (about 20 ms at 20 MHz), whatever
  // the image's clock mode; the program starts after.
  Duration launchWait;
  // While the EEPROM is busy with a page, the loader retries the next page's write command at
  // most 400 times; a write cycle that outlasts the tries fails the programming. The failure
  // then comes this long after the RAM verdict: the first page, and the tries after it.
  bool pagesFit;
  Duration programmingFailure;

  static BootTiming For(const ChipSettings& settings);
};

// The ROM's receive loop polls its receive pin once every 8 clocks (TEST and DJNZ). It counts a
// low pulse in polls from 16 clocks after the poll that saw the fall, and polls for the next
// fall a fixed number of clocks (the work it does with the pulse) after the poll that saw the
// rise. On a slow clock at a fast rate that work outlasts a one-bit gap, so the next pulse is
// counted short.
class PulseMeter {
 public:
  // Clocks from the poll that saw the rise to the first poll for the next fall.
  static constexpr double kAfterFirstCalibration = 32;
  static constexpr double kAfterSecondCalibration = 40;
  static constexpr double kAfterHandshakeBit = 52;
  static constexpr double kInsideLong = 36;
  // Includes the hub write of the long, 8 to 23 clocks by the hub window; taken at its middle.
  static constexpr double kAfterLong = 80;
  static constexpr double kAfterSkippedPoll = 32;

  // The line has been idle: the loop waits for the next fall, polling on its own grid.
  void Idle() { nextPoll_.reset(); }
  // The polls counted low for a pulse from clock `fall` to clock `rise` (counted from the reset);
  // nothing when the loop polled for the fall only after the rise, missing the pulse. The loop
  // then works `busy` clocks before it polls again.
  std::optional<int> Measure(double fall, double rise, double busy);

 private:
  static constexpr double kPollClocks = 8;
  static constexpr double kCountStart = 16;
  std::optional<double> nextPoll_;
};

}  // namespace qkl::sim
