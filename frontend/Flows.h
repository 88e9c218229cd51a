// The flows of a run: the main flow with its load flow, the read-back flow of -u and the
// two test modes. Each takes the run's settings; the flows that end a run return its exit code.
#pragma once

#include <memory>

#include "frontend/Options.h"
#include "link/Propeller.h"

class TConsole;

int RunMainFlow(const TRunSettings& Settings, TConsole& Console);
int RunReadBackFlow(TPropeller& Link, const TRunSettings& Settings, TConsole& Console);

// Resets and detects the chip 1000 times.
void RunDetectionTest(const TRunSettings& Settings, TConsole& Console);
// Loads every image named in the list file (the console's input when the settings name no
// file) into RAM; raises EInOutError when the list cannot be opened or read.
void RunFileListTest(const TRunSettings& Settings, TConsole& Console);
