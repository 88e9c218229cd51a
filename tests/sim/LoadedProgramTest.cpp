// Programs on the virtual chip meeting hosts on the line: a program loaded into RAM by the
// tool's own link keeps running when the tool closes the port, only a host's reset stops it, and
// chip time runs while the host is quiet, for loaded programs and for the ROM's boot loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "BeaconImage.h"
#include "LineMirrorImage.h"
#include "link/Propeller.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/EmulatorSpeed.h"
#include "tests/support/HostPort.h"
#include "tests/support/RomFolder.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace std::chrono_literals;
using simtest::HostPort;

// Hub RAM as the boot loader leaves it after loading Image: the image, its stack markers and zeros.
template <std::size_t Size>
void PrepareImage(TPropeller& Link, const unsigned char (&Image)[Size]) {
  std::copy(Image, Image + Size, Link.Image.begin());
  ASSERT_TRUE(Link.ChecksumValid());
}

// Loads Image into RAM (mode 1) as the tool does, and closes the port. Returns once the chip
// has taken the tool's flush at close, which is no reset, so that a later open cannot be taken
// for the host that made it.
template <std::size_t Size>
void LoadIntoRam(simtest::ThreadChip& Chip, const unsigned char (&Image)[Size]) {
  TPropeller Link{std::cout};
  PrepareImage(Link, Image);
  ASSERT_EQ(Link.FindPropeller(Chip.SlavePath()), 1);
  ASSERT_TRUE(Link.LoadImage(1)) << Link.LastError;
  Link.ClosePort();
  ASSERT_NE(Chip.Log().WaitFor("flushes the port's queues: no reset", 1s), "") << Chip.Log().Text();
}

// The program needs a moment to start after its verdict: the host knocks until it answers, then
// takes the answers to the knocks still under way.
bool Answers(HostPort& Terminal) {
  for (int Knock = 0; Knock < 50; ++Knock) {
    Terminal.Write("?");
    if (Terminal.Read(1, 20ms) == "?")
      return Terminal.Read(50, 300ms).find_first_not_of('?') == std::string::npos;
  }
  return false;
}

// Reads Count bytes after the mirrored knocks that were still on their way back.
std::string ReadPastKnocks(HostPort& Terminal, std::size_t Count) {
  std::string Got;
  for (std::string More = "?"; Got.size() < Count && !More.empty();) {
    More = Terminal.Read(Count - Got.size());
    Got += More;
    Got.erase(0, Got.find_first_not_of('?'));
  }
  return Got;
}

int Resets(const simtest::ChipLogRecord& Log) {
  const std::vector<std::string> Lines = Log.Lines();
  return static_cast<int>(std::count(Lines.begin(), Lines.end(), "reset"));
}

TEST(LoadedProgram, RunsOnAfterTheToolClosesUntilAHostResetsTheChip) {
  // The mirrored text must come back within the host's quiet limit.
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  simtest::ThreadChip Chip(simtest::InstantChip());
  LoadIntoRam(Chip, LineMirrorImage);
  EXPECT_NE(Chip.Log().WaitFor("program starts", 1s), "");
  {
    HostPort Terminal(Chip.SlavePath(), B115200, HostPort::Opening::Plain);
    ASSERT_TRUE(Terminal.IsOpen());
    ASSERT_TRUE(Answers(Terminal)) << Chip.Log().Text();
    Terminal.Write("still running");
    EXPECT_EQ(ReadPastKnocks(Terminal, 13), "still running") << Chip.Log().Text();
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

TEST(LoadedProgram, WhatItSendsUnaskedReachesAQuietHost) {
  simtest::ThreadChip Chip(simtest::InstantChip());
  LoadIntoRam(Chip, BeaconImage);
  HostPort Terminal(Chip.SlavePath(), B115200, HostPort::Opening::Plain);
  EXPECT_EQ(Terminal.Read(3, 1s), "QQQ") << Chip.Log().Text();
}

// The chip's own boot loader, on the emulator, decides by its own time limit.
class RomBootLoader : public ::testing::Test {
protected:
  void SetUp() override {
    if (const std::string Why = simtest::WhyNoRom(); !Why.empty())
      GTEST_SKIP() << Why << "; the ROM's boot loader cannot run";
  }
  sim::ChipSettings RomChip() const {
    sim::ChipSettings Settings;
    Settings.RomDirectory = simtest::RomFolder();
    Settings.EepromPath = EepromPath;
    return Settings;
  }
  const simtest::TempFolder Folder;
  const std::string EepromPath = Folder.File("chip.eeprom");
};

TEST_F(RomBootLoader, BootsTheEepromWhenTheHostStaysSilentAfterTheReset) {
  TPropeller Eeprom{std::cout};
  PrepareImage(Eeprom, BeaconImage);
  std::ofstream(EepromPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(Eeprom.Image.data()), ImageSize);
  simtest::ThreadChip Chip(RomChip());
  HostPort Silent(Chip.SlavePath(), B115200);
  EXPECT_EQ(Silent.Read(1, 20s), "Q") << Chip.Log().Text();
}

TEST_F(RomBootLoader, ShutsDownWhenTheHostStaysSilentAndTheEepromIsBlank) {
  simtest::ThreadChip Chip(RomChip());
  HostPort Silent(Chip.SlavePath(), B115200);
  EXPECT_NE(Chip.Log().WaitFor("the program stopped the chip's clock", 20s), "")
      << Chip.Log().Text();
  EXPECT_EQ(Silent.Read(1, 0ms), "");
}

}  // namespace
