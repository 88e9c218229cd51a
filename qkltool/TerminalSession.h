// A terminal on the chip's serial line, over a link session that is open already: standard
// input to the chip, the chip's bytes to standard output.
#pragma once

#include <ostream>

#include "qkltool/Commands.h"

class TLinkSession;
class TMessages;

// Runs until Ctrl-] on the keyboard, the program's status bytes (unless Choice turns them off),
// the time-out, the end of standard input where Choice asks for that, or a failure of the
// port. Gives the status, or the tool's exit code for the other ends. Port names the port in
// messages.
int RunTerminal(TLinkSession& Session, const std::string& Port, const TTerminalChoice& Choice,
                std::ostream& Out, TMessages& Messages);
