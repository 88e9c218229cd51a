// Every exit code of qkl-tool, the interface scripts read. A program's own status (0 up to about
// 100) is to pass through as the exit code when a terminal session ends with it, so the tool's
// failures take codes at the top of the range, as timeout(1) does: a program that ends with one of
// them cannot be told from the tool's failure.
#pragma once

enum TToolExit : int {
  ExitDone = 0,
  // The command line is wrong, or asks for what this build cannot do.
  ExitUsage = 110,
  // The image file cannot be read, or holds no valid image.
  ExitBadImage = 111,
  // The port cannot be opened, or failed during a terminal session.
  ExitPortFailed = 112,
  // No chip answered on the port.
  ExitNoChip = 113,
  // The chip refused the image, or its verdict did not come.
  ExitLoadFailed = 114,
  // The EEPROM could not be read back whole and correct.
  ExitReadFailed = 115,
  // The file read back could not be written.
  ExitNotSaved = 116,
  // No port was named and the probe found no board, or several.
  ExitNoSingleBoard = 117,
  // A load on several ports failed on one board or more.
  ExitSomeBoardFailed = 118,
  // A terminal session ended at its time-out, without a status from the program.
  ExitTimedOut = 124,
  // An error that nothing else handles.
  ExitUnhandledError = 125,
};
