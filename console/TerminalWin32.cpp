#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "console/Terminal.h"

namespace {
// A console handle; the NUL device passes a plain character-device test, so the console's own
// mode is asked for.
bool IsConsole(DWORD Which) {
  DWORD Mode = 0;
  return ::GetConsoleMode(::GetStdHandle(Which), &Mode) != 0;
}
}  // namespace

std::optional<TTerminal> StandardErrorTerminal() {
  if (!IsConsole(STD_ERROR_HANDLE)) return std::nullopt;
  TTerminal Shape;
  CONSOLE_SCREEN_BUFFER_INFO Info{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &Info))
    Shape.Columns = Info.srWindow.Right - Info.srWindow.Left + 1;
  // A process has at most one console.
  Shape.SharedWithOut = IsConsole(STD_OUTPUT_HANDLE);
  return Shape;
}

bool StandardOutputTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }
