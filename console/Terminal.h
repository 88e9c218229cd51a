// Whether standard error shows on a terminal, and its shape there.
#pragma once

#include <optional>

#include "console/ProgressLine.h"

// Nothing when standard error is no terminal.
std::optional<TTerminal> StandardErrorTerminal();
// Whether standard output is a terminal (a person reads it, not a script).
bool StandardOutputTerminal();
