// Run settings, filled from the command line by ParseOptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class TConsole;

constexpr const char* DefaultPortName = "COM2";

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

extern TRunSettings RunSettings;

// Fills RunSettings from the argument vector. Returns the exit code when the command line
// ends the run: usage text (1), version or banner (0), program mode out of range (1); nothing
// when the run goes on. A -p value that is not an integer raises EConvertError.
std::optional<int> ParseOptions(TConsole& Console);
