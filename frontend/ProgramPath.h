// Path of the running program file as the operating system reports it.
#pragma once

#include <string>

// Empty when the system cannot tell.
std::string RunningProgramPath();
