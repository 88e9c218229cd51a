// The first step of every command that talks to a chip.
#pragma once

#include <string>

#include "link/Propeller.h"
#include "qkltool/Commands.h"
#include "qkltool/LinkWire.h"

class TMessages;

// Opens Port and finds the chip on it (the reset, the handshake). Gives ExitDone, or says why
// there is no chip and gives the exit code for it.
// Says why Port cannot be opened (the port's Code and its Text), with a hint, and gives the exit
// code for it.
int PortFailure(const std::string& Port, int32_t Code, const std::string& Text,
                TMessages& Messages);

int FindChip(TPropeller& Link, const std::string& Port, TMessages& Messages);

// The whole first step: the port (the one named, QKL_PORT, or the single board a probe finds),
// the reset line and the trace that Choice asks for (Wire keeps the trace for the link's life),
// then FindChip. Port receives the port used.
int ConnectChip(TPropeller& Link, const TLinkChoice& Choice, TLinkWire& Wire, std::string& Port,
                TMessages& Messages);
