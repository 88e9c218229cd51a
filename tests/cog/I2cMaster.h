// A bit-banged I2C master in cog code (SCL driven both ways, SDA pulled low or released, as
// the boot ROM does it), run on the emulated chip from a list of commands in hub RAM.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/cog/Chip.h"
#include "sim/devices/Board.h"

namespace qkl::cog::testing {

class I2cMaster {
 public:
  // The commands; each result (an acknowledge bit, 0 = ACK, or a byte read) is one long.
  I2cMaster& Start();
  I2cMaster& Stop();
  I2cMaster& Write(uint8_t byte);
  I2cMaster& Read(bool acknowledge);
  I2cMaster& Wait(uint32_t cycles);

  // Runs the list in cog 0 and returns the results. `fast` leaves out the delays that make
  // the bus meet the 400 kHz minimums at 20 MHz.
  std::vector<uint32_t> Run(Chip& chip, devices::Board& board, bool fast = false) const;

 private:
  std::vector<uint32_t> commands_;
};

}  // namespace qkl::cog::testing
