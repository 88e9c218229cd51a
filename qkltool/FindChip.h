// The first step of every command that talks to a chip.
#pragma once

#include <string>

#include "link/Propeller.h"

class TMessages;

// Opens Port and finds the chip on it (the reset, the handshake). Gives ExitDone, or says why
// there is no chip and gives the exit code for it.
int FindChip(TPropeller& Link, const std::string& Port, TMessages& Messages);
