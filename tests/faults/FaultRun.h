// A run of the built qkl in a folder of its own, timed, with a record of every file in the
// folder before and after it.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/QklRun.h"

namespace faults {

// File name to contents; a file too big to read whole is known by its size and write time.
using Snapshot = std::map<std::string, std::string>;

class WorkFolder {
public:
  WorkFolder();
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  std::string Path(const std::string& Name) const;
  std::string Write(const std::string& Name, const std::vector<uint8_t>& Bytes) const;
  // Every regular file below the folder.
  Snapshot Files() const;

private:
  std::filesystem::path Root;
};

// The sanitized build's emulator runs at about real time, too slow for the reader program to
// answer within the host's reply limits: checks that need a read-back that works skip there.
#ifdef QKL_SANITIZED_BUILD
inline constexpr bool ReaderKeepsUp = false;
#else
inline constexpr bool ReaderKeepsUp = true;
#endif
inline constexpr const char* SlowReader =
    "the emulator of this build is too slow for a working read-back; the default build runs this check";

struct TimedRun {
  e2e::QklRun Run;
  std::chrono::milliseconds Took;
};

TimedRun RunTimed(const std::vector<std::string>& Arguments, std::chrono::milliseconds Bound);

// Time limits of a run that fails at the last stage it can reach, derived from the protocol's
// time-outs with generous margins: a detection (reset waits, the handshake packet, one reply
// time-out, the drain) at most 3 s, each verdict 5 s and its polls.
constexpr std::chrono::milliseconds DetectionBound{3000};
constexpr std::chrono::milliseconds RamLoadBound = DetectionBound + std::chrono::milliseconds{7000};
constexpr std::chrono::milliseconds EepromWriteBound = RamLoadBound + std::chrono::milliseconds{12000};
// The reader program's download, its sync window of 5 s and the 32 KB stream at the link rate.
constexpr std::chrono::milliseconds ReadBackBound = RamLoadBound + std::chrono::milliseconds{15000};

}  // namespace faults
