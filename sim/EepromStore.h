// The 32 KB boot EEPROM, kept in a file of exactly 32768 raw bytes (or only in memory when no
// file is named). A missing file is created blank, all bytes 0xFF, as a new EEPROM comes.
#pragma once

#include <string>

#include "sim/HubRam.h"

namespace qkl::sim {

class EepromStore {
 public:
  // Throws std::runtime_error with a message when the file cannot be read or created, or has
  // another size; the file is left as it was.
  explicit EepromStore(std::string path);

  // Writes the whole EEPROM; false when the file could not be written (it keeps its old bytes).
  bool Program(const HubBytes& contents);
  // Reads the EEPROM back, from the file when there is one.
  HubBytes ReadBack() const;
  const std::string& Path() const { return filePath_; }

 private:
  std::string filePath_;
  HubBytes memory_;
};

}  // namespace qkl::sim
