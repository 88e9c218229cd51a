// The board around the chip: runs the chip together with the devices wired to its pins, so
// that each device sees every change of its pins at the cycle it happens and acts at its own
// times.
#pragma once

#include <vector>

#include "sim/cog/Chip.h"
#include "sim/devices/PinDevice.h"

namespace qkl::devices {

class Board {
 public:
  explicit Board(cog::Chip& chip) : chip_(chip) {}

  // The device must outlive the board or be detached first.
  void Attach(PinDevice& device);
  void Detach(PinDevice& device);

  // Runs to `cycle` (device times are planned again whenever the clock frequency changes).
  // Returns kReachedCycle; kClockStopped when the chip's clock is stopped at the end (the
  // devices still ran to `cycle`); kSoftwareReset as soon as the chip resets itself (Cycle()
  // is where). Throws cog::EmulationError from the chip, and std::logic_error if devices keep
  // changing pins at one cycle without end.
  cog::RunStop RunUntil(uint64_t cycle);
  // The same for a span of time at the present clock frequency.
  cog::RunStop RunFor(double seconds);

 private:
  void Dispatch();

  cog::Chip& chip_;
  std::vector<PinDevice*> devices_;
  uint32_t lastLevels_ = 0;
};

}  // namespace qkl::devices
