// The process's argument vector: element 0 is the running program's path, 1..n the
// command-line arguments (the option scanner reorders these in place).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

void SetArguments(int Argc, const char* const* Argv);
int32_t ArgumentCount();
// Empty text for an index outside 0..n.
std::string Argument(int32_t Index);
std::vector<std::string>& ArgumentVector();
