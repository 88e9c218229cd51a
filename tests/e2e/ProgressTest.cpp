// The built qkl with its standard error on a terminal shows the stages of a load there, and
// with standard error on a pipe writes nothing there; standard output is the same either way.
#include <gtest/gtest.h>

#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"
#include "tests/support/PtyPair.h"
#include "tests/support/QklRun.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WireDecoder.h"

namespace {

// A raw pseudo-terminal 80 columns wide, so that what qkl writes arrives unchanged.
class TErrorTerminal {
public:
  TErrorTerminal() {
    Pair.SetColumns(80);
    Pair.Slave = -1;  // the run closes the slave once the child has it
  }
  TPtyPair Pair;
  simtest::ErrorTerminal Ends{Pair.Master, Pair.Slave};
};

// What is left on the terminal's line once the backspaces and the blanks that wipe it are played.
std::string LastLine(const std::string& Written) {
  std::string Line;
  std::size_t Column = 0;
  for (const char Ch : Written) {
    if (Ch == '\b') {
      Column -= Column > 0 ? 1 : 0;
    } else if (Ch == '\n') {
      Line.clear();
      Column = 0;
    } else {
      if (Line.size() <= Column) Line.resize(Column + 1, ' ');
      Line[Column++] = Ch;
    }
  }
  return Line.erase(Line.find_last_not_of(' ') + 1);
}

TEST(Progress, ShownOnATerminalOnlyAndStandardOutputStaysTheSame) {
  // On the default 12 MHz clock rather than the fastest: the boot loader gives up on a verdict's
  // next poll after 100 ms at 20 MHz but 167 ms at 12 MHz, which a host held up for a moment on
  // a busy machine still meets after its 50 ms wait for an answer.
  simtest::ThreadChip Chip;
  const simtest::TempFolder Folder;
  const std::string Image = Folder.Write("progress.binary", simtest::TinyImage(3000));
  const std::vector<std::string> Load = {"-d", Chip.SlavePath(), "-p", "3", Image};

  const simtest::QklRun ToPipe = simtest::RunQkl(Load);
  TErrorTerminal Terminal;
  ASSERT_GE(Terminal.Ends.Slave, 0);
  const simtest::QklRun ToTerminal =
      simtest::RunQkl(Load, {}, std::chrono::minutes(1), &Terminal.Ends);

  EXPECT_EQ(ToPipe.ExitCode, 0);
  EXPECT_EQ(ToTerminal.ExitCode, 0);
  EXPECT_EQ(ToTerminal.Output, ToPipe.Output);
  EXPECT_EQ(ToPipe.Errors, "");
  for (const char* Stage : {"loading RAM 0 of 3004 longs (0%)", "verifying RAM 0.",
                            "programming EEPROM 1.", "verifying EEPROM 0."})
    EXPECT_NE(ToTerminal.Errors.find(Stage), std::string::npos)
        << Stage << " in " << ToTerminal.Errors;
  EXPECT_EQ(ToTerminal.Errors.find('\n'), std::string::npos);
  EXPECT_EQ(LastLine(ToTerminal.Errors), "") << "the line is wiped at the end";
}

}  // namespace
