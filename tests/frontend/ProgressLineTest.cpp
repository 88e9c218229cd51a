// The progress line on a modelled terminal that shows standard output and standard error
// together: what a person sees, line by line, as the streams interleave.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "frontend/Console.h"

namespace {

using TClock = TProgressLine::TClock;
using namespace std::chrono_literals;

// A terminal of a given width: characters, backspace, carriage return and line feed (taken as
// a new line, as the terminal's output processing does), with the wrap a terminal defers until
// the next character after the last column.
class TScreen {
public:
  explicit TScreen(std::size_t Width) : Width(Width), Rows(1) {}
  void Play(const std::string& Bytes) {
    for (const char Ch : Bytes) {
      if (Ch == '\n') {
        NewRow();
      } else if (Ch == '\r') {
        Column = 0;
      } else if (Ch == '\b') {
        if (Column > 0) --Column;
      } else {
        if (Column == Width) NewRow();
        std::string& Row = Rows.back();
        if (Row.size() <= Column) Row.resize(Column + 1, ' ');
        Row[Column++] = Ch;
      }
    }
  }
  // The rows with their trailing blanks cut.
  std::vector<std::string> Lines() const {
    std::vector<std::string> All;
    for (std::string Row : Rows) All.push_back(Row.erase(Row.find_last_not_of(' ') + 1));
    return All;
  }
  std::size_t CursorColumn() const { return Column; }

private:
  void NewRow() {
    Rows.emplace_back();
    Column = 0;
  }
  std::size_t Width;
  std::vector<std::string> Rows;
  std::size_t Column = 0;
};

// Both streams of a run on one screen, in the order they were written.
class TSharedTerminal : public std::streambuf {
public:
  explicit TSharedTerminal(TScreen& Screen) : Screen(Screen) {}

protected:
  int_type overflow(int_type Ch) override {
    if (!traits_type::eq_int_type(Ch, traits_type::eof()))
      Screen.Play(std::string(1, traits_type::to_char_type(Ch)));
    return traits_type::not_eof(Ch);
  }
  std::streamsize xsputn(const char* Data, std::streamsize Size) override {
    Screen.Play(std::string(Data, static_cast<std::size_t>(Size)));
    return Size;
  }

private:
  TScreen& Screen;
};

class ProgressLine : public testing::Test {
protected:
  static constexpr std::size_t Width = 40;
  TScreen Screen{Width};
  TSharedTerminal Terminal{Screen};
  std::ostream Out{&Terminal};
  std::ostream Err{&Terminal};
  TClock::time_point Time = TClock::time_point() + 1h;
  TConsole Console{nullptr, Out, Err, TTerminal{static_cast<int>(Width), true},
                   [this] { return Time; }};
  TLinkHooks Hooks = Console.LinkHooks();
};

TEST_F(ProgressLine, StagesShowBesideTheCursorAndGoBeforeStandardOutput) {
  Console.PrintLine("Propeller Version 1 Found!");
  Hooks.Progress({TLinkStage::Download, 0, 1000});
  EXPECT_EQ(Screen.Lines().back(), "loading RAM 0 of 1000 longs (0%)");
  EXPECT_EQ(Screen.CursorColumn(), 0u) << "the cursor stays where standard output left it";
  Time += 50ms;
  Hooks.Progress({TLinkStage::Download, 400, 1000});
  EXPECT_EQ(Screen.Lines().back(), "loading RAM 0 of 1000 longs (0%)")
      << "redrawn at most every 100 ms";
  Time += 50ms;
  Hooks.Progress({TLinkStage::Download, 500, 1000});
  EXPECT_EQ(Screen.Lines().back(), "loading RAM 500 of 1000 longs (50%)");
  Hooks.Progress({TLinkStage::EepromProgram, 0, 200});
  Time += 2100ms;
  Hooks.Progress({TLinkStage::EepromProgram, 40, 200});
  EXPECT_EQ(Screen.Lines().back(), "programming EEPROM 2.1 s")
      << "a shorter text wipes the longer one";
  Console.PrintLine("EEPROM Program Error");
  EXPECT_EQ(Screen.Lines(),
            (std::vector<std::string>{"Propeller Version 1 Found!", "EEPROM Program Error", ""}));
}

TEST_F(ProgressLine, MarksWithoutALineEndGoOnInPlace) {
  Console.Attempt("detection 1 of 1000");
  Console.PrintMark('d');
  Time += 100ms;
  Console.Attempt("detection 2 of 1000");
  EXPECT_EQ(Screen.Lines().back(), "d detection 2 of 1000");
  Console.PrintMark('.');
  EXPECT_EQ(Screen.Lines().back(), "d.");
  // Beside a line of marks near the right edge the text is cut to the room left, and left out
  // where too little is.
  for (int Mark = 0; Mark < 20; ++Mark) Console.PrintMark('d');
  Time += 100ms;
  Console.Attempt("detection 23 of 1000");
  EXPECT_EQ(Screen.Lines().back(), "d.dddddddddddddddddddd detection 23 of");
  for (int Mark = 0; Mark < 10; ++Mark) Console.PrintMark('d');
  Time += 100ms;
  Console.Attempt("detection 33 of 1000");
  EXPECT_EQ(Screen.Lines().back(), "d." + std::string(30, 'd'));
  EXPECT_EQ(Screen.Lines().size(), 1u);
}

TEST_F(ProgressLine, ReadBackShowsTheReaderAndTheKilobytes) {
  Hooks.Progress({TLinkStage::RamVerify, 0, 100});
  Hooks.Progress({TLinkStage::RamVerify, 1, 100});
  Time += 300ms;
  Hooks.Progress({TLinkStage::ReaderSync, 1, 101});
  EXPECT_EQ(Screen.Lines().back(), "starting the reader 0.0 s");
  Time += 800ms;
  Hooks.Progress({TLinkStage::ReaderSync, 17, 101});
  EXPECT_EQ(Screen.Lines().back(), "starting the reader 0.8 s");
  Console.PrintLine("Found sync at 16");
  Hooks.Progress({TLinkStage::EepromRead, 5, 32});
  EXPECT_EQ(Screen.Lines().back(), "reading EEPROM 5 KB of 32");
  Console.PrintMark('.');
  EXPECT_EQ(Screen.Lines().back(), ".");
}

TEST_F(ProgressLine, AReasonTakesALineOfItsOwnOnceAmongTheMarks) {
  TPropeller Link(Console.Out, Console.LinkHooks());
  Console.PrintMark('.');
  for (int Attempt = 1; Attempt <= 3; ++Attempt) {
    Time += 100ms;
    Console.Attempt("detection " + std::to_string(Attempt) + " of 1000");
    Link.FindPropeller("/nonexistent/port");
    Console.ReportPortTrouble(Link, "/nonexistent/port");
    Console.PrintMark('d');
  }
  std::vector<std::string> Lines = Screen.Lines();
  ASSERT_GE(Lines.size(), 3u);
  EXPECT_EQ(Lines.front(), ".");
  EXPECT_EQ(Lines.back(), "ddd");
  std::string Reason;  // the reason's line, wrapped on the narrow screen
  for (std::size_t Row = 1; Row + 1 < Lines.size(); ++Row) Reason += Lines[Row];
  EXPECT_TRUE(
      Reason.starts_with("qkl: cannot open port /nonexistent/port: No such file or directory; "))
      << Reason;
}

TEST(ProgressLineAlone, StandardOutputElsewhereLeavesTheLineAtTheStart) {
  std::ostringstream Out;
  TScreen Screen(80);
  TSharedTerminal Terminal(Screen);
  std::ostream Err(&Terminal);
  TConsole Console(nullptr, Out, Err, TTerminal{80, false});
  Console.PrintMark('d');
  Console.LinkHooks().Progress({TLinkStage::RamVerify, 0, 100});
  EXPECT_EQ(Screen.Lines(), std::vector<std::string>{"verifying RAM 0.0 s"});
  Console.PrintMark('.');
  EXPECT_EQ(Out.str(), "d.");
  EXPECT_EQ(Screen.Lines(), std::vector<std::string>{""});
}

TEST(ProgressLineAlone, NoTerminalNoHooksAndNothingOnStandardError) {
  std::ostringstream Out;
  std::ostringstream Err;
  TConsole Console(nullptr, Out, Err);
  EXPECT_FALSE(Console.LinkHooks().Status);
  EXPECT_FALSE(Console.LinkHooks().Progress);
  Console.Attempt("file 1 of the list");
  Console.PrintLine("line");
  EXPECT_EQ(Out.str(), "line\n");
  EXPECT_EQ(Err.str(), "");
}

}  // namespace
