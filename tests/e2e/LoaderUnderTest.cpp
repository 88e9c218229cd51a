#include "tests/e2e/LoaderUnderTest.h"

#include <iostream>

#include "tests/support/EmulatorSpeed.h"
#include "tests/support/RomFolder.h"

namespace e2e {

namespace {
// The fastest RC clock the ROM's cases run the chip at.
constexpr double FastestClockMhz = 20;
}  // namespace

std::string LoaderName(LoaderKind Kind) { return Kind == LoaderKind::Rom ? "Rom" : "Model"; }

// The ROM's cases run one at a time (CaseProperties.cmake) and only where the emulator keeps
// the ROM ahead of real time at the fastest clock they use.
std::string SkipReason(LoaderKind Kind) {
  if (Kind == LoaderKind::Model) return {};
  return simtest::WhyNoRealTime(FastestClockMhz);
}

qkl::sim::ChipSettings LoaderChip(LoaderKind Kind, const std::string& EepromPath, double ClockMhz) {
  qkl::sim::ChipSettings Chip = ChipWithEeprom(EepromPath, ClockMhz);
  if (Kind == LoaderKind::Rom) Chip.romDirectory = simtest::RomFolder();
  return Chip;
}

std::string ClockAndRateName(const ::testing::TestParamInfo<ClockAndRate>& Info) {
  return std::to_string(Info.param.ClockMhz) + "MHzAt" +
         (Info.param.FastLink ? "230400" : "115200");
}

void PrintTo(const ClockAndRate& Each, std::ostream* Into) {
  *Into << Each.ClockMhz << " MHz, " << (Each.FastLink ? "230400" : "115200") << " baud";
}

namespace {

constexpr int AttemptsWhereTheHandshakeMayMiss = 12;

// A load or detection without a chip exits with 100; a read-back with 1 and its own line.
bool FoundNoChip(const QklRun& Run) {
  if (Run.ExitCode == 100) return true;
  return Run.ExitCode == 1 && !Run.Lines.empty() &&
         Run.Lines.back().starts_with("Unable to locate Propeller on Port");
}

}  // namespace

TimedRun UntilFound(const ClockAndRate& Combination, const std::function<TimedRun()>& Qkl) {
  const int Attempts =
      Combination.ClockMhz == 8 && Combination.FastLink ? AttemptsWhereTheHandshakeMayMiss : 1;
  TimedRun Timed;
  for (int Attempt = 0; Attempt < Attempts; ++Attempt) {
    Timed = Qkl();
    if (!FoundNoChip(Timed.Run)) break;
    if (Attempt + 1 < Attempts)
      std::cout << "the handshake missed at " << ::testing::PrintToString(Combination)
                << "; qkl runs again\n";
  }
  return Timed;
}

}  // namespace e2e
