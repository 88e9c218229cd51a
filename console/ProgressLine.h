// One line on a terminal, rewritten in place to show what a run is doing. The cursor always
// stays where standard output left it: the text is drawn to its right and the cursor moved back
// over it with backspaces, so that when both streams show on one terminal standard output goes
// on in place, also in the middle of a line of marks or dots. The text is wiped with blanks
// before standard output or another line is written.
#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>

struct TTerminal {
  int Columns = 80;
  bool SharedWithOut = false;  // standard output shows on the same terminal
};

class TProgressLine {
public:
  using TClock = std::chrono::steady_clock;

  TProgressLine(std::ostream& Terminal, TTerminal Shape);
  ~TProgressLine();
  TProgressLine(const TProgressLine&) = delete;
  TProgressLine& operator=(const TProgressLine&) = delete;

  // Draws Text, at once or, to keep redraws cheap, only when the last one is old enough.
  void Show(const std::string& Text, TClock::time_point Now, bool AtOnce);
  void Clear();
  // Follows what standard output writes, for the column it leaves the cursor in.
  void Wrote(const char* Data, std::size_t Size);
  // Writes Line and a line end, on a line of its own.
  void WriteLine(const std::string& Line);

private:
  std::string Fitted(const std::string& Text) const;
  void Draw(const std::string& Body);

  std::ostream& Terminal;
  TTerminal Shape;
  std::size_t Column = 0;  // where standard output left the cursor, when it shares the terminal
  std::string Shown;
  TClock::time_point LastDraw{};
};
