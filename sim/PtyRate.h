// The rate the host set on a terminal as a number of baud, where the C library's termios
// offers only the codes of the standard rates: Linux's own termios2 carries any rate.
#pragma once

#include <cstdint>

namespace qkl::sim {

// The output rate set on the terminal `fd` (a pseudo-terminal's master reads its slave's), or 0
// when it cannot be read.
uint32_t TerminalRate(int fd);
// The stop bits of the frames the host set on the terminal `fd`: 2 with CSTOPB, else 1.
int TerminalStopBits(int fd);

}  // namespace qkl::sim
