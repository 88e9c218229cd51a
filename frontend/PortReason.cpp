#include "frontend/PortReason.h"

namespace {
// More ports than this are counted, not named.
constexpr std::size_t PortsNamed = 12;
}  // namespace

std::string PortOpenFailureLine(const std::string& Port, int32_t Code, const std::string& Text) {
  const std::string Hint = PortOpenFailureHint(Port, Code);
  return "qkl: cannot open port " + Port + ": " + Text + (Hint.empty() ? "" : "; " + Hint);
}

std::string ResetRefusalLine(const std::string& Port, const std::string& Text) {
  return "qkl: could not reset the chip on " + Port + ": the adapter refused DTR: " + Text;
}

std::string PortsPresentHint() {
  const std::vector<std::string> Ports = SerialPortsPresent();
  if (Ports.empty()) return "no serial ports found";
  std::string Hint = "serial ports present:";
  for (std::size_t At = 0; At < Ports.size() && At < PortsNamed; ++At) Hint += " " + Ports[At];
  if (Ports.size() > PortsNamed)
    Hint += " and " + std::to_string(Ports.size() - PortsNamed) + " more";
  return Hint;
}
