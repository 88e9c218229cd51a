// Where the boot loader hands over when it starts a program (after a download in mode 1 or 3,
// or a boot from EEPROM): something that runs the image, such as a cog emulator. Without one
// the virtual chip only reports that the program would start.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/ChipSettings.h"
#include "sim/HubRam.h"

namespace qkl::sim {

class ImageRunner {
 public:
  virtual ~ImageRunner() = default;
  // RAM holds the image with its stack markers; the program owns the serial line from now on.
  virtual void Launch(const HubRam& ram) = 0;
  // Bytes from the host while the program runs; returns the bytes it sends back.
  virtual std::string LineInput(std::string_view bytes, uint32_t baud, TimePoint at) = 0;
  // The chip was reset: the program stops.
  virtual void Halt() = 0;
};

}  // namespace qkl::sim
