// Why a port could not be opened, in one line for standard error: the port, the system's
// reason and a hint for the usual causes.
#pragma once

#include <cstdint>
#include <string>

#include "console/PortHints.h"

// Code and Text are the port's error number and its text.
std::string PortOpenFailureLine(const std::string& Port, int32_t Code, const std::string& Text);
