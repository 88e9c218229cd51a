#pragma once

#include <string>

// The report line for the exception being handled: its class name and its message.
// Call only inside a catch block.
std::string UnhandledErrorReport();
