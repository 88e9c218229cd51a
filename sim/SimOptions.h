// The command line of qkl-sim.
#pragma once

#include <string>
#include <vector>

#include "sim/ChipSettings.h"

namespace sim {

struct SimOptions {
  ChipSettings Chip;
  std::string LinkPath;  // where to put a symbolic link to the slave side; empty: none
  bool Log = false;
  bool Help = false;
};

// Fills Into from the arguments (without the program name); returns an error text, empty when
// every argument was understood.
std::string ParseSimOptions(const std::vector<std::string>& Arguments, SimOptions& Into);

const char* SimUsage();

}  // namespace sim
