#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

#include "console/HintTexts.h"
#include "console/PortHints.h"

std::vector<std::string> SerialPortsPresent() {
  std::string Names(16384, '\0');
  // Every DOS device name, each ended by a zero; the serial ports among them are COM<n>.
  while (::QueryDosDeviceA(nullptr, Names.data(), static_cast<DWORD>(Names.size())) == 0) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    Names.resize(Names.size() * 2);
  }
  std::vector<std::string> Ports;
  for (const char* Name = Names.c_str(); *Name; Name += std::strlen(Name) + 1) {
    const std::string Each = Name;
    const bool Numbered =
        Each.size() > 3 && Each.find_first_not_of("0123456789", 3) == std::string::npos;
    if (Each.starts_with("COM") && Numbered) Ports.push_back(Each);
  }
  return Ports;
}

std::string PortOpenFailureHint(const std::string&, int32_t Code) {
  switch (Code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return PortsPresentHint();
    // Windows refuses a second open of a port with access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return PortHeldHintText;
    default: return {};
  }
}
