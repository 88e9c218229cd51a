// The boot loader's time limits and working times at a given RC clock.
#pragma once

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

}  // namespace sim
