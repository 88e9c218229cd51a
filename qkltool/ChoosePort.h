// The port of a command that talks to one chip: the one named (--port), else QKL_PORT, else the
// single board that a probe of the Propeller adapters finds.
#pragma once

#include <string>

#include "qkltool/LinkWire.h"

class TMessages;

// ExitDone with Port set, or the exit code for no single board with the ports listed.
int ChoosePort(const std::string& Named, const TLinkWire& Wire, std::string& Port,
               TMessages& Messages);
