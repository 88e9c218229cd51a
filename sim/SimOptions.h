// The command line of qkl-sim.
#pragma once

#include <string>
#include <vector>

#include "sim/ChipSettings.h"

namespace qkl::sim {

struct SimOptions {
  ChipSettings chip;
  std::string linkPath;  // where to put a symbolic link to the slave side; empty: none
  bool log = false;
  bool help = false;
};

// Fills `into` from the arguments (without the program name); returns an error text, empty when
// every argument was understood.
std::string ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& into);

const char* SimUsage();

}  // namespace qkl::sim
