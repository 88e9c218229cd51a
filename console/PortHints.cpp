#include "console/PortHints.h"

namespace {
// More ports than this are counted, not named.
constexpr std::size_t PortsNamed = 12;
}  // namespace

std::string PortsPresentHint() {
  const std::vector<std::string> Ports = SerialPortsPresent();
  if (Ports.empty()) return "no serial ports found";
  std::string Hint = "serial ports present:";
  for (std::size_t At = 0; At < Ports.size() && At < PortsNamed; ++At) Hint += " " + Ports[At];
  if (Ports.size() > PortsNamed)
    Hint += " and " + std::to_string(Ports.size() - PortsNamed) + " more";
  return Hint;
}
