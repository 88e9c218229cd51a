// The flows of a run: the main flow with its load flow, the read-back flow of -u and the
// two test modes. The flows that end a run return its exit code.
#pragma once

#include <memory>
#include <string>

#include "link/Propeller.h"

class TConsole;

// A new link object at the rate the run settings ask for.
std::unique_ptr<TPropeller> CreateLink(TConsole& Console);

int RunMainFlow(TConsole& Console);
int RunReadBackFlow(TPropeller& Link, TConsole& Console);

// Resets and detects the chip 1000 times.
void RunDetectionTest(TConsole& Console);
// Loads every image named in the list file (the console's input when ListName is empty) into
// RAM; raises EInOutError when the list cannot be opened or read.
void RunFileListTest(const std::string& ListName, TConsole& Console);
