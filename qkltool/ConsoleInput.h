// Standard input as a terminal session reads it: without waiting, and in raw mode while it is a
// terminal (each key as it is typed, no echo, no signals from Ctrl-C), the mode it had restored
// at the end.
#pragma once

#include <memory>
#include <string>

class TConsoleInput {
public:
  TConsoleInput();
  ~TConsoleInput();
  TConsoleInput(const TConsoleInput&) = delete;
  TConsoleInput& operator=(const TConsoleInput&) = delete;

  // True when standard input is a terminal (keys), false for a pipe or a file.
  bool Keyboard() const { return IsKeyboard; }
  // Appends what standard input holds now, without waiting; false once it has ended.
  bool Take(std::string& Into);

private:
  struct TSaved;
  std::unique_ptr<TSaved> Saved;  // the terminal's mode before, to restore
  bool IsKeyboard = false;
};
