// Something outside the chip wired to some of its pins: it watches line levels and drives
// pins through the chip's external drive, and may have actions of its own at set times.
#pragma once

#include <cstdint>

#include "sim/cog/Chip.h"

namespace qkl::devices {

class PinDevice {
 public:
  virtual ~PinDevice() = default;

  // Pins whose every level change the device must see.
  virtual uint32_t WatchedPins() const = 0;

  // The cycle of the device's next own action (a bit edge, the end of a write cycle), or
  // cog::Chip::kNever. Must lie after chip.Cycle() once Update() has run.
  virtual uint64_t NextEventCycle(const cog::Chip& chip) const = 0;

  // Called with the chip at the device's event cycle and whenever a watched pin changed.
  virtual void Update(cog::Chip& chip) = 0;
};

}  // namespace qkl::devices
