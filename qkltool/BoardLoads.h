// A production line's load: one image into the boards on several ports, side by side.
#pragma once

#include <cstdint>
#include <ostream>

#include "qkltool/Commands.h"
#include "qkltool/LinkWire.h"

// Loads Request's image (already found valid) with the boot loader's Mode into the board on
// each of Request's ports at once, one link session and thread each (each resetting by Wire's
// line, its line held on as a single load holds it, and traced where Wire asks), by the path a
// single load takes (the fast loader's up to Request's rate, or the ROM boot loader's with
// --classic), and writes one line per board to Out as it finishes. A board that fails stops only
// its own load. Gives ExitDone when every board passed, else ExitSomeBoardFailed.
int LoadBoards(const TLoadRequest& Request, uint8_t Mode, const TLinkWire& Wire, std::ostream& Out);
