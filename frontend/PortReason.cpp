#include "frontend/PortReason.h"

#include "frontend/Texts.h"

namespace {
// More ports than this are counted, not named.
constexpr std::size_t PortsNamed = 12;
}  // namespace

std::string PortOpenFailureLine(const std::string& Port, int32_t Code, const std::string& Text) {
  return PortOpenFailureText(Port, Text, PortOpenFailureHint(Port, Code));
}

std::string PortsPresentHint() { return SerialPortsPresentText(SerialPortsPresent(), PortsNamed); }
