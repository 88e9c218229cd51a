// The process's argument vector: element 0 the running program's path as the system reports it
// (argv[0] when it cannot tell), 1..n the command-line arguments.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> ProgramArguments(int Argc, const char* const* Argv);
