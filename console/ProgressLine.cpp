#include "console/ProgressLine.h"

namespace {
constexpr auto RedrawInterval = std::chrono::milliseconds(100);
// Less room than this beside standard output's open line and the text is left out.
constexpr std::size_t LeastRoom = 12;
}  // namespace

TProgressLine::TProgressLine(std::ostream& Terminal, TTerminal Shape)
    : Terminal(Terminal), Shape(Shape) {}

TProgressLine::~TProgressLine() { Clear(); }

void TProgressLine::Show(const std::string& Text, TClock::time_point Now, bool AtOnce) {
  if (!AtOnce && Now - LastDraw < RedrawInterval) return;
  LastDraw = Now;
  Draw(Fitted(Text));
}

void TProgressLine::Clear() { Draw(""); }

void TProgressLine::Wrote(const char* Data, std::size_t Size) {
  if (!Shape.SharedWithOut) return;
  for (std::size_t At = 0; At < Size; ++At) {
    if (Data[At] == '\n' || Data[At] == '\r')
      Column = 0;
    else if (Data[At] == '\b')
      Column -= Column > 0 ? 1 : 0;
    else
      ++Column;
  }
}

void TProgressLine::WriteLine(const std::string& Line) {
  Clear();
  if (Column > 0) Terminal << '\n';
  Column = 0;
  Terminal << Line << std::endl;
}

// The text beside the cursor, cut to what fits before the last column: a text that wrapped
// could not be wiped again with backspaces.
std::string TProgressLine::Fitted(const std::string& Text) const {
  const std::size_t Columns = Shape.Columns > 0 ? static_cast<std::size_t>(Shape.Columns) : 1;
  const std::size_t At = Column % Columns;
  const bool WrapPending = Column > 0 && At == 0;
  const std::string Body = (At > 0 ? " " : "") + Text;
  const std::size_t Room = Columns - 1 - At;
  if (WrapPending || Room < LeastRoom) return {};
  return Body.substr(0, Room);
}

void TProgressLine::Draw(const std::string& Body) {
  if (Body == Shown) return;
  const std::size_t Blanks = Shown.size() > Body.size() ? Shown.size() - Body.size() : 0;
  Terminal << Body << std::string(Blanks, ' ') << std::string(Body.size() + Blanks, '\b')
           << std::flush;
  Shown = Body;
}
