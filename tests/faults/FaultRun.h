// A run of the built qkl in a folder of its own, timed, with a record of every file in the
// folder before and after it.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "tests/support/QklRun.h"
#include "tests/support/TempFolder.h"

namespace faults {

// File name to contents; a file too big to read whole is known by its size and write time.
using Snapshot = std::map<std::string, std::string>;

// Every regular file below the folder.
Snapshot FilesIn(const simtest::TempFolder& Folder);

// Runs qkl, killing it at twice the Bound, so that an overrun shows as one.
simtest::TimedRun RunTimed(const std::vector<std::string>& Arguments,
                           std::chrono::milliseconds Bound);

// Time limits of a run that fails at the last stage it can reach, derived from the protocol's
// time-outs with generous margins: a detection (reset waits, the handshake packet, one reply
// time-out, the drain) at most 3 s, the programming verdict 10 s and each other one 5 s, and
// their polls.
constexpr std::chrono::milliseconds DetectionBound{3000};
constexpr std::chrono::milliseconds RamLoadBound = DetectionBound + std::chrono::milliseconds{7000};
constexpr std::chrono::milliseconds EepromWriteBound =
    RamLoadBound + std::chrono::milliseconds{17000};
// The reader program's download, its sync window of 5 s and the 32 KB stream at the link rate.
constexpr std::chrono::milliseconds ReadBackBound = RamLoadBound + std::chrono::milliseconds{15000};

}  // namespace faults
