#include "console/HintTexts.h"

std::string SerialPortsPresentText(const std::vector<std::string>& Ports, std::size_t Named) {
  if (Ports.empty()) return "no serial ports found";
  std::string Text = "serial ports present:";
  for (std::size_t At = 0; At < Ports.size() && At < Named; ++At) Text += " " + Ports[At];
  if (Ports.size() > Named) Text += " and " + std::to_string(Ports.size() - Named) + " more";
  return Text;
}

std::string PortGroupHintText(const std::string& Group) {
  return "the port belongs to the group " + Group + ": add yourself with sudo usermod -aG " +
         Group + " $USER and log in again";
}
