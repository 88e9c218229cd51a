// qkl-tool's command line: the commands and their GNU-style options, the help and version texts,
// and the run of the command asked for.
#pragma once

#include <ostream>

class TMessages;

// Runs the command that Argv names; help and version go to Out. Gives the exit code.
int RunToolCommand(int Argc, const char* const* Argv, std::ostream& Out, TMessages& Messages);
