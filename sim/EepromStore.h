// The 32 KB boot EEPROM, kept in a file of exactly 32768 raw bytes (or only in memory when no
// file is named). A missing file is created blank, all bytes 0xFF, as a new EEPROM comes.
#pragma once

#include <string>

#include "sim/HubRam.h"

namespace sim {

class EepromStore {
public:
  // Throws std::runtime_error with a message when the file cannot be read or created, or has
  // another size; the file is left as it was.
  explicit EepromStore(std::string Path);

  // Writes the whole EEPROM; false when the file could not be written (it keeps its old bytes).
  bool Program(const HubBytes& Contents);
  // Reads the EEPROM back, from the file when there is one.
  HubBytes ReadBack() const;
  const std::string& Path() const { return FilePath; }

private:
  std::string FilePath;
  HubBytes Memory;
};

}  // namespace sim
