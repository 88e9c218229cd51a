#include "sim/EepromStore.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace qkl::sim {

namespace {

bool ReadFile(const std::string& path, HubBytes& into) {
  std::ifstream file(path, std::ios::binary);
  file.read(reinterpret_cast<char*>(into.data()), into.size());
  return file.gcount() == static_cast<std::streamsize>(into.size()) && file.peek() == EOF;
}

// Written beside the target and renamed over it, so a failed write never leaves half an EEPROM.
bool WriteFile(const std::string& path, const HubBytes& contents) {
  const std::string temporary = path + ".new";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(contents.data()), contents.size());
    file.flush();
    if (!file) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) std::remove(temporary.c_str());
  return !error;
}

}  // namespace

EepromStore::EepromStore(std::string path) : filePath_(std::move(path)) {
  memory_.fill(0xFF);
  if (filePath_.empty()) return;
  std::error_code error;
  if (!std::filesystem::exists(filePath_, error)) {
    if (!WriteFile(filePath_, memory_))
      throw std::runtime_error("cannot create EEPROM file " + filePath_);
    return;
  }
  if (std::filesystem::file_size(filePath_, error) != kHubRamSize || error)
    throw std::runtime_error("EEPROM file " + filePath_ + " is not 32768 bytes long");
  if (!ReadFile(filePath_, memory_))
    throw std::runtime_error("cannot read EEPROM file " + filePath_);
}

bool EepromStore::Program(const HubBytes& contents) {
  if (!filePath_.empty() && !WriteFile(filePath_, contents)) return false;
  memory_ = contents;
  return true;
}

HubBytes EepromStore::ReadBack() const {
  HubBytes contents = memory_;
  if (!filePath_.empty() && !ReadFile(filePath_, contents)) contents.fill(0xFF);
  return contents;
}

}  // namespace qkl::sim
