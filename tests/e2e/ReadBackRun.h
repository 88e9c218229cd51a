// The read-back flow of the built qkl against a virtual chip that runs the reader program on
// its cog emulator: the timed run, and what the chip's log says about it.
#pragma once

#include <string>
#include <vector>

#include "sim/ChipSettings.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/QklRun.h"

namespace e2e {

using simtest::QklRun;
using simtest::RunQkl;
using simtest::TimedRun;

// qkl -d Port [-f] -u FileName, timed.
TimedRun ReadBack(const std::string& Port, bool FastLink, const std::string& FileName);
std::vector<std::string> RateArguments(bool FastLink);

// A chip whose EEPROM lives in EepromPath, with quick verdicts.
qkl::sim::ChipSettings ChipWithEeprom(const std::string& EepromPath, double ClockMhz = 12);

// The chip's I2C timing report for the last program that stopped the chip's clock (the reader
// does so when it is done); empty when none did.
std::string TimingReportOfLastProgram(const simtest::ChipLogRecord& Log);

}  // namespace e2e
