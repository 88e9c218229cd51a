// The tool's run inside the test process, for flows that need no process of their own: its
// standard output and standard error are captured in strings, its input read from Input.
#pragma once

#include <string>
#include <vector>

#include "tests/support/RunProgram.h"

namespace simtest {

// Arguments follow the program name. An error that qkl leaves to its top-level handler
// passes to the caller as the exception it is.
ProgramResult RunFrontEnd(const std::vector<std::string>& Arguments, const std::string& Input = {});

}  // namespace simtest
