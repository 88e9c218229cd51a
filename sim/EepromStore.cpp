#include "sim/EepromStore.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace sim {

namespace {

bool ReadFile(const std::string& Path, HubBytes& Into) {
  std::ifstream File(Path, std::ios::binary);
  File.read(reinterpret_cast<char*>(Into.data()), Into.size());
  return File.gcount() == static_cast<std::streamsize>(Into.size()) && File.peek() == EOF;
}

// Written beside the target and renamed over it, so a failed write never leaves half an EEPROM.
bool WriteFile(const std::string& Path, const HubBytes& Contents) {
  const std::string Temporary = Path + ".new";
  {
    std::ofstream File(Temporary, std::ios::binary | std::ios::trunc);
    File.write(reinterpret_cast<const char*>(Contents.data()), Contents.size());
    File.flush();
    if (!File) {
      std::remove(Temporary.c_str());
      return false;
    }
  }
  std::error_code Error;
  std::filesystem::rename(Temporary, Path, Error);
  if (Error) std::remove(Temporary.c_str());
  return !Error;
}

}  // namespace

EepromStore::EepromStore(std::string Path) : FilePath(std::move(Path)) {
  Memory.fill(0xFF);
  if (FilePath.empty()) return;
  std::error_code Error;
  if (!std::filesystem::exists(FilePath, Error)) {
    if (!WriteFile(FilePath, Memory))
      throw std::runtime_error("cannot create EEPROM file " + FilePath);
    return;
  }
  if (std::filesystem::file_size(FilePath, Error) != HubRamSize || Error)
    throw std::runtime_error("EEPROM file " + FilePath + " is not 32768 bytes long");
  if (!ReadFile(FilePath, Memory)) throw std::runtime_error("cannot read EEPROM file " + FilePath);
}

bool EepromStore::Program(const HubBytes& Contents) {
  if (!FilePath.empty() && !WriteFile(FilePath, Contents)) return false;
  Memory = Contents;
  return true;
}

HubBytes EepromStore::ReadBack() const {
  HubBytes Contents = Memory;
  if (!FilePath.empty() && !ReadFile(FilePath, Contents)) Contents.fill(0xFF);
  return Contents;
}

}  // namespace sim
