// Run settings, filled from the command line by ParseOptions.
#pragma once

#include <cstdint>
#include <string>

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

// Fills RunSettings from the argument vector, or ends the process: usage text (exit 1),
// version or banner (exit 0), program mode out of range (exit 1). A -p value that is not
// an integer raises EConvertError.
void ParseOptions();
