// Why a port could not be opened, in one line for standard error: the port, the system's
// reason and a hint for the usual causes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Code and Text are the port's error number and its text.
std::string PortOpenFailureLine(const std::string& Port, int32_t Code, const std::string& Text);

// Platform part: a hint for the failure of that number (empty when there is none), and the
// serial ports the system has.
std::string PortOpenFailureHint(const std::string& Port, int32_t Code);
std::vector<std::string> SerialPortsPresent();
// The ports by name, as a hint for a port that does not exist.
std::string PortsPresentHint();
