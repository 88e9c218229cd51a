// The link objects of a run.
#pragma once

#include <memory>

#include "frontend/Options.h"
#include "link/Propeller.h"

class TConsole;

// A new link object at the rate the settings ask for, on the console's ports.
std::unique_ptr<TPropeller> CreateLink(const TRunSettings& Settings, TConsole& Console);

// Detects the chip on the settings' port and reports on standard error what kept the port from
// working (a port that does not open, a refused reset). Gives the chip's version, 0 for none.
uint8_t DetectChip(TPropeller& Link, const TRunSettings& Settings, TConsole& Console);
