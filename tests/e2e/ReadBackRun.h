// The read-back flow of the built qkl against a virtual chip that runs the reader program on
// its cog emulator: a scratch folder, the timed run, and what the chip's log says about it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/ChipSettings.h"
#include "tests/e2e/QklRun.h"
#include "tests/support/ChipFixture.h"

namespace e2e {

class ScratchFolder {
public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string File(const std::string& Name) const { return (Folder / Name).string(); }

private:
  std::filesystem::path Folder;
};

struct TimedRun {
  QklRun Run;
  double Seconds = 0;
};

// False in the sanitized build, whose emulator runs at about real time: too slow for answers
// that must reach the host within its reply limits. Tests that need them skip there.
bool EmulatorKeepsUpWithTheHost();
constexpr const char* SlowEmulator =
    "the emulator of this build runs at about real time, too slow to answer the host within its "
    "reply limits; the default build runs this test";

// qkl -d Port [-f] -u FileName, timed.
TimedRun ReadBack(const std::string& Port, bool FastLink, const std::string& FileName);
std::vector<std::string> RateArguments(bool FastLink);

// A chip whose EEPROM lives in EepromPath, with quick verdicts.
sim::ChipSettings ChipWithEeprom(const std::string& EepromPath, double ClockMhz = 12);
std::vector<uint8_t> FileBytes(const std::string& Path);

// The chip's I2C timing report for the last program that stopped the chip's clock (the reader
// does so when it is done); empty when none did.
std::string TimingReportOfLastProgram(const simtest::ChipLogRecord& Log);

}  // namespace e2e
