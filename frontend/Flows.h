// The flows of a run: the main flow with its load flow, the read-back flow of -u and the
// two test modes.
#pragma once

#include <memory>
#include <string>

#include "link/Propeller.h"

// A new link object at the rate the run settings ask for.
std::unique_ptr<TPropeller> CreateLink();

[[noreturn]] void RunMainFlow();
[[noreturn]] void RunReadBackFlow(TPropeller& Link);

// Resets and detects the chip 1000 times.
void RunDetectionTest();
// Loads every image named in the list file (standard input when ListName is empty) into
// RAM; raises EInOutError when the list cannot be opened or read.
void RunFileListTest(const std::string& ListName);
