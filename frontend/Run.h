// One run of the tool, from the command line to its exit code.
#pragma once

class TConsole;

// Parses the command line (element 0 is replaced by the running program's path, as the
// system reports it) and runs the flow it asks for on Console. Returns the exit code. An
// error that no flow handles (a -p value that is not an integer, an unreadable list file, an
// error of the port) passes to the caller.
int RunQkl(int Argc, const char* const* Argv, TConsole& Console);
