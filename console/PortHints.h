// Hints for a serial port that cannot be opened, for the usual causes, and the serial ports the
// system has.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Platform part: a hint for the failure of that number (the port's error number; empty when
// there is none), and the serial ports the system has.
std::string PortOpenFailureHint(const std::string& Port, int32_t Code);
std::vector<std::string> SerialPortsPresent();
// The ports by name, as a hint for a port that does not exist.
std::string PortsPresentHint();
