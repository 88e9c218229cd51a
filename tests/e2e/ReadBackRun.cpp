#include "tests/e2e/ReadBackRun.h"

namespace e2e {

std::vector<std::string> RateArguments(bool FastLink) {
  return FastLink ? std::vector<std::string>{"-f"} : std::vector<std::string>{};
}

TimedRun ReadBack(const std::string& Port, bool FastLink, const std::string& FileName) {
  std::vector<std::string> Arguments = RateArguments(FastLink);
  Arguments.insert(Arguments.end(), {"-d", Port, "-u", FileName});
  return simtest::RunQklTimed(Arguments);
}

qkl::sim::ChipSettings ChipWithEeprom(const std::string& EepromPath, double ClockMhz) {
  qkl::sim::ChipSettings Settings = simtest::InstantChip();
  Settings.eepromPath = EepromPath;
  Settings.clockHz = ClockMhz * 1e6;
  return Settings;
}

std::string TimingReportOfLastProgram(const simtest::ChipLogRecord& Log) {
  const std::vector<std::string> Lines = Log.Lines();
  for (std::size_t Index = Lines.size(); Index-- > 1;)
    if (Lines[Index - 1].find("the program stopped the chip's clock") != std::string::npos)
      return Lines[Index];
  return {};
}

}  // namespace e2e
