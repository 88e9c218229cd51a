#include "sim/devices/Board.h"

#include <algorithm>
#include <stdexcept>

namespace qkl::devices {

using cog::Chip;
using cog::RunStop;

void Board::Attach(PinDevice& device) {
  devices_.push_back(&device);
  lastLevels_ = chip_.PinLevels();
  device.Update(chip_);
}

void Board::Detach(PinDevice& device) {
  devices_.erase(std::remove(devices_.begin(), devices_.end(), &device), devices_.end());
}

// Lets every device that is due, or whose pins changed, act; repeated while their own
// drives change levels that others (or they themselves) watch.
void Board::Dispatch() {
  constexpr int kMostRounds = 64;
  for (int round = 0; round < kMostRounds; ++round) {
    const uint32_t levels = chip_.PinLevels();
    const uint32_t changed = levels ^ lastLevels_;
    lastLevels_ = levels;
    bool acted = false;
    for (PinDevice* device : devices_) {
      if ((changed & device->WatchedPins()) || device->NextEventCycle(chip_) <= chip_.Cycle()) {
        device->Update(chip_);
        acted = true;
      }
    }
    if (!acted && chip_.PinLevels() == lastLevels_) return;
  }
  throw std::logic_error("devices keep changing the pins at cycle " +
                         std::to_string(chip_.Cycle()));
}

RunStop Board::RunUntil(uint64_t cycle) {
  for (;;) {
    Dispatch();
    if (chip_.Cycle() >= cycle)
      return chip_.ClockStopped() ? RunStop::kClockStopped : RunStop::kReachedCycle;
    uint64_t next = cycle;
    uint32_t watched = 0;
    for (const PinDevice* device : devices_) {
      next = std::min(next, device->NextEventCycle(chip_));
      watched |= device->WatchedPins();
    }
    // kClockChanged: plan again at the new rate; kClockStopped: the devices carry on.
    if (chip_.Run(next, watched) == RunStop::kSoftwareReset) {
      Dispatch();
      return RunStop::kSoftwareReset;
    }
  }
}

RunStop Board::RunFor(double seconds) { return RunUntil(chip_.CycleAt(chip_.Seconds() + seconds)); }

}  // namespace qkl::devices
