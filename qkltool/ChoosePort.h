// The port of a command that talks to one chip: the one named (--port), else QKL_PORT, else the
// single board that a probe of the Propeller adapters finds; and the boards of a load on all.
#pragma once

#include <string>
#include <vector>

#include "qkltool/LinkWire.h"

class TMessages;

// ExitDone with Port set, or the exit code for no single board with the ports listed.
int ChoosePort(const std::string& Named, const TLinkWire& Wire, std::string& Port,
               TMessages& Messages);

// Every port where a probe of the Propeller adapters finds a chip, into Ports; with none, the
// exit code for no single board with the ports listed.
int ChooseEveryBoard(const TLinkWire& Wire, std::vector<std::string>& Ports, TMessages& Messages);

// As ChoosePort, but from the listing alone, without a probe (which would reset the board): the
// single Propeller adapter listed.
int ChooseListedPort(const std::string& Named, std::string& Port, TMessages& Messages);
