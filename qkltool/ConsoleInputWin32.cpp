#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "qkltool/ConsoleInput.h"

namespace {

HANDLE Input() { return ::GetStdHandle(STD_INPUT_HANDLE); }

// The characters of the key presses waiting in the console's queue.
void TakeKeys(std::string& Into) {
  while (::WaitForSingleObject(Input(), 0) == WAIT_OBJECT_0) {
    INPUT_RECORD Record{};
    DWORD Count = 0;
    if (!::ReadConsoleInputA(Input(), &Record, 1, &Count) || Count == 0) return;
    if (Record.EventType == KEY_EVENT && Record.Event.KeyEvent.bKeyDown &&
        Record.Event.KeyEvent.uChar.AsciiChar != 0)
      Into.append(Record.Event.KeyEvent.wRepeatCount, Record.Event.KeyEvent.uChar.AsciiChar);
  }
}

// A pipe is read only as far as it holds bytes; a file at once.
bool TakeStream(std::string& Into) {
  DWORD Available = 0;
  const bool Pipe = ::GetFileType(Input()) == FILE_TYPE_PIPE;
  if (Pipe && !::PeekNamedPipe(Input(), nullptr, 0, nullptr, &Available, nullptr)) return false;
  if (Pipe && Available == 0) return true;
  char Buffer[4096];
  DWORD Count = 0;
  if (!::ReadFile(Input(), Buffer, Pipe && Available < sizeof Buffer ? Available : sizeof Buffer,
                  &Count, nullptr))
    return false;
  Into.append(Buffer, Count);
  return Count > 0;
}

}  // namespace

struct TConsoleInput::TSaved {
  DWORD Mode = 0;
};

TConsoleInput::TConsoleInput() {
  // The chip's bytes go to standard output unchanged.
  ::_setmode(::_fileno(stdout), _O_BINARY);
  DWORD Mode = 0;
  if (!::GetConsoleMode(Input(), &Mode)) return;
  IsKeyboard = true;
  Saved = std::make_unique<TSaved>(TSaved{Mode});
  ::SetConsoleMode(Input(), Mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                                       ENABLE_PROCESSED_INPUT));
}

TConsoleInput::~TConsoleInput() {
  if (Saved) ::SetConsoleMode(Input(), Saved->Mode);
}

bool TConsoleInput::Take(std::string& Into) {
  if (IsKeyboard) {
    TakeKeys(Into);
    return true;
  }
  return TakeStream(Into);
}
