// Every exit code of qkl, the interface scripts read. Several stages share a number: the codes
// are those the tool has always given.
#pragma once

enum TExitCode : int {
  ExitDone = 0,
  // The command line ends the run: usage text, or a program mode out of range.
  ExitUsage = 1,
  // The load flow.
  ExitLoadFailed = 1,
  ExitNoBinary = 2,
  ExitBadChecksum = 3,
  ExitNoChip = 100,
  // The read-back flow.
  ExitReadBackNoChip = 1,
  ExitReadBackFailed = 2,
  ExitReadBackNotSaved = 3,
  // An error no flow handles, reported by main.
  ExitUnhandledError = 217,
};
