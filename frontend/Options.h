// Run settings, filled from the command line by ParseOptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class TConsole;
class TOptionScanner;

struct TRunSettings {
  std::string PortName;
  std::string FileName;
  int32_t ProgramMode = 1;
  bool HighSpeed = false;
  bool FileListTest = false;
  bool DetectionTest = false;
  bool ReadBack = false;

  bool operator==(const TRunSettings&) const = default;
};

struct TParsedOptions {
  TRunSettings Settings;
  // The exit code when the command line ends the run (usage text, version or banner, program
  // mode out of range); nothing when the run goes on.
  std::optional<int> Exit;
};

// Scans the whole command line. A -p value that is not an integer raises EConvertError.
TParsedOptions ParseOptions(TOptionScanner& Scanner, TConsole& Console);
