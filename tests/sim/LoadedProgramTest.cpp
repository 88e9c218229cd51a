// A program loaded into RAM by the tool's own link, meeting hosts on the line after the tool is
// gone: it keeps running when the tool closes the port, and only a host's reset stops it.
#include <gtest/gtest.h>

#include <algorithm>

#include "LineMirrorImage.h"
#include "link/Propeller.h"
#include "tests/sim/HostPort.h"
#include "tests/support/ChipFixture.h"

namespace {

using namespace std::chrono_literals;
using simtest::HostPort;

template <std::size_t Size>
void LoadIntoRam(const std::string& Port, const unsigned char (&Image)[Size]) {
  TPropeller Link;
  std::copy(Image, Image + Size, Link.Image.begin());
  ASSERT_TRUE(Link.ChecksumValid());
  ASSERT_EQ(Link.FindPropeller(Port), 1);
  ASSERT_TRUE(Link.LoadImage(1)) << Link.LastError;
  Link.ClosePort();
}

// The program needs a moment to start after its verdict: the host knocks until it answers.
bool Answers(HostPort& Terminal) {
  for (int Knock = 0; Knock < 50; ++Knock) {
    Terminal.Write("?");
    if (Terminal.Read(1, 20ms) == "?") return true;
  }
  return false;
}

int Resets(const simtest::ChipLogRecord& Log) {
  const std::vector<std::string> Lines = Log.Lines();
  return static_cast<int>(std::count(Lines.begin(), Lines.end(), "reset"));
}

sim::ChipSettings InstantChip() {
  sim::ChipSettings Settings;
  Settings.Instant = true;
  return Settings;
}

TEST(LoadedProgram, RunsOnAfterTheToolClosesUntilAHostResetsTheChip) {
  simtest::ThreadChip Chip(InstantChip());
  LoadIntoRam(Chip.SlavePath(), LineMirrorImage);
  EXPECT_NE(Chip.Log().WaitFor("program starts", 1s), "");
  EXPECT_NE(Chip.Log().WaitFor("flushes the port's queues: no reset", 1s), "");  // the tool's close
  {
    HostPort Terminal(Chip.SlavePath(), B115200, HostPort::Opening::Plain);
    ASSERT_TRUE(Terminal.IsOpen());
    ASSERT_TRUE(Answers(Terminal)) << Chip.Log().Text();
    Terminal.Write("still running");
    EXPECT_EQ(Terminal.Read(13), "still running") << Chip.Log().Text();
  }
  EXPECT_EQ(Resets(Chip.Log()), 2) << Chip.Log().Text();  // power on and the tool's open only
  {
    HostPort Terminal(Chip.SlavePath(), B115200, HostPort::Opening::Plain);
    Terminal.Write("again");
    EXPECT_EQ(Terminal.Read(5), "again");
  }
  HostPort Resetting(Chip.SlavePath(), B115200);
  Resetting.Write("anyone?");
  EXPECT_EQ(Resetting.Read(7, 300ms), "");
  EXPECT_EQ(Resets(Chip.Log()), 3) << Chip.Log().Text();
}

}  // namespace
