// The hints both front ends give for a serial port that cannot be opened, in one place.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The hints: the serial ports the system has (the first Named of them by name), the group that
// may open the port, another program that holds it.
std::string SerialPortsPresentText(const std::vector<std::string>& Ports, std::size_t Named);
std::string PortGroupHintText(const std::string& Group);
inline constexpr const char* PortHeldHintText =
    "another program holds the port; close it and try again";
inline constexpr const char* PortHeldByTerminalHintText =
    "another program holds the port (a terminal program, or ModemManager); close it and try again";
inline constexpr const char* NoSerialDeviceHintText = "it is no serial device";
