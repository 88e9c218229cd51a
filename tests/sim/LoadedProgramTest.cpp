// Programs on the virtual chip meeting hosts on the line: a program loaded into RAM by the
// tool's own link keeps running when the tool closes the port, only a host's reset stops it, and
// chip time runs while the host is quiet, for loaded programs and for the ROM's boot loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>

#include "BeaconImage.h"
#include "HandOverImage.h"
#include "LineMirrorImage.h"
#include "link/Propeller.h"
#include "sim/CogImageRunner.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/EmulatorSpeed.h"
#include "tests/support/HostPort.h"
#include "tests/support/RomFolder.h"
#include "tests/support/TempFolder.h"

namespace qkl::sim::testing {
namespace {

using namespace std::chrono_literals;
using simtest::HostPort;

// Hub RAM as the boot loader leaves it after loading `image`: the image, its stack markers and
// zeros.
template <std::size_t Size>
void PrepareImage(TPropeller& link, const unsigned char (&image)[Size]) {
  for (std::size_t at = 0; at < Size; at += 4) {
    uint32_t value = 0;
    for (std::size_t byte = 0; byte < 4 && at + byte < Size; ++byte)
      value |= static_cast<uint32_t>(image[at + byte]) << (8 * byte);
    link.SetImageLong(at / 4, value);
  }
  ASSERT_TRUE(link.ChecksumValid());
}

// Loads `image` into RAM (mode 1) as the tool does, and closes the port. Returns once the chip
// has taken the tool's flush at close, which is no reset, so that a later open cannot be taken
// for the host that made it.
template <std::size_t Size>
void LoadIntoRam(simtest::ThreadChip& chip, const unsigned char (&image)[Size]) {
  TPropeller link{std::cout};
  PrepareImage(link, image);
  ASSERT_EQ(link.FindPropeller(chip.SlavePath()), 1);
  ASSERT_TRUE(link.LoadImage(1)) << link.LastError();
  link.ClosePort();
  ASSERT_NE(chip.Log().WaitFor("flushes the port's queues: no reset", 1s), "") << chip.Log().Text();
}

// The program needs a moment to start after its verdict: the host knocks until it answers, then
// takes the answers to the knocks still under way.
bool Answers(HostPort& terminal) {
  for (int knock = 0; knock < 50; ++knock) {
    terminal.Write("?");
    if (terminal.Read(1, 20ms) == "?")
      return terminal.Read(50, 300ms).find_first_not_of('?') == std::string::npos;
  }
  return false;
}

// Reads `count` bytes after the mirrored knocks that were still on their way back.
std::string ReadPastKnocks(HostPort& terminal, std::size_t count) {
  std::string got;
  for (std::string more = "?"; got.size() < count && !more.empty();) {
    more = terminal.Read(count - got.size());
    got += more;
    got.erase(0, got.find_first_not_of('?'));
  }
  return got;
}

int Resets(const simtest::ChipLogRecord& log) {
  const std::vector<std::string> lines = log.Lines();
  return static_cast<int>(std::count(lines.begin(), lines.end(), "reset"));
}

TEST(LoadedProgram, RunsOnAfterTheToolClosesUntilAHostResetsTheChip) {
  // The mirrored text must come back within the host's quiet limit.
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  simtest::ThreadChip chip(simtest::InstantChip());
  LoadIntoRam(chip, LineMirrorImage);
  EXPECT_NE(chip.Log().WaitFor("program starts", 1s), "");
  {
    HostPort terminal(chip.SlavePath(), B115200, HostPort::Opening::Plain);
    ASSERT_TRUE(terminal.IsOpen());
    ASSERT_TRUE(Answers(terminal)) << chip.Log().Text();
    terminal.Write("still running");
    EXPECT_EQ(ReadPastKnocks(terminal, 13), "still running") << chip.Log().Text();
  }
  EXPECT_EQ(Resets(chip.Log()), 2) << chip.Log().Text();  // power on and the tool's open only
  {
    HostPort terminal(chip.SlavePath(), B115200, HostPort::Opening::Plain);
    terminal.Write("again");
    EXPECT_EQ(terminal.Read(5), "again");
  }
  HostPort resetting(chip.SlavePath(), B115200);
  resetting.Write("anyone?");
  EXPECT_EQ(resetting.Read(7, 300ms), "");
  EXPECT_EQ(Resets(chip.Log()), 3) << chip.Log().Text();
}

// The beacon is timed for 80 MHz, a 5 MHz crystal with the PLL: on a board with another crystal
// its bit times are off and the host reads no "Q".
class LoadedBeacon : public ::testing::TestWithParam<double> {};

TEST_P(LoadedBeacon, WhatItSendsUnaskedReachesAQuietHostAtTheCrystalsRate) {
  ChipSettings settings = simtest::InstantChip();
  settings.crystalHz = GetParam();
  simtest::ThreadChip chip(settings);
  LoadIntoRam(chip, BeaconImage);
  HostPort terminal(chip.SlavePath(), B115200, HostPort::Opening::Plain);
  const std::string heard = terminal.Read(3, 1s);
  if (settings.crystalHz == 5e6)
    EXPECT_EQ(heard, "QQQ") << chip.Log().Text();
  else
    EXPECT_EQ(heard.find("QQQ"), std::string::npos) << heard;
}

INSTANTIATE_TEST_SUITE_P(LoadedProgram, LoadedBeacon, ::testing::Values(5e6, 6.25e6));

TEST(LoadedProgram, ALoaderHandsItsImageOverToTheInterpreterInCogZero) {
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  simtest::ThreadChip chip(simtest::InstantChip());
  LoadIntoRam(chip, HandOverImage);
  HostPort terminal(chip.SlavePath(), B115200, HostPort::Opening::Plain);
  EXPECT_TRUE(Answers(terminal)) << chip.Log().Text();
}

// A running program gets the host's bytes with one corrupted, once: here the mirror sends back
// the third byte with its bit 4 inverted.
TEST(LoadedProgram, TheCorruptByteFaultInvertsOneBitOfOneHostByte) {
  ChipSettings settings;
  settings.faults.corruptByteAfter = 2;
  EepromStore eeprom("");
  CogImageRunner runner(settings, eeprom, {});
  TPropeller link{std::cout};
  PrepareImage(link, LineMirrorImage);
  HubBytes bytes{};
  std::copy(link.Image().begin(), link.Image().end(), bytes.begin());
  HubRam ram;
  ram.Assign(bytes);
  runner.Launch(ram);
  const TimePoint started = Clock::now() + 50ms;  // the mirror runs by then
  std::string mirrored = runner.LineInput("abcd", 115200, started);
  mirrored += runner.LineInput("efgh", 115200, started + 1ms);
  EXPECT_EQ(mirrored, "absdefgh");  // 'c' is 0x63, 's' 0x73
}

// The chip's own boot loader, on the emulator, decides by its own time limit.
class RomBootLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = simtest::WhyNoRom(); !why.empty())
      GTEST_SKIP() << why << "; the ROM's boot loader cannot run";
  }
  ChipSettings RomChip() const {
    ChipSettings settings;
    settings.romDirectory = simtest::RomFolder();
    settings.eepromPath = eepromPath_;
    return settings;
  }
  const simtest::TempFolder folder_;
  const std::string eepromPath_ = folder_.File("chip.eeprom");
};

TEST_F(RomBootLoader, BootsTheEepromWhenTheHostStaysSilentAfterTheReset) {
  TPropeller eeprom{std::cout};
  PrepareImage(eeprom, BeaconImage);
  std::ofstream(eepromPath_, std::ios::binary)
      .write(reinterpret_cast<const char*>(eeprom.Image().data()), ImageSize);
  simtest::ThreadChip chip(RomChip());
  HostPort silent(chip.SlavePath(), B115200);
  EXPECT_EQ(silent.Read(1, 20s), "Q") << chip.Log().Text();
}

TEST_F(RomBootLoader, ShutsDownWhenTheHostStaysSilentAndTheEepromIsBlank) {
  simtest::ThreadChip chip(RomChip());
  HostPort silent(chip.SlavePath(), B115200);
  EXPECT_NE(chip.Log().WaitFor("the program stopped the chip's clock", 20s), "")
      << chip.Log().Text();
  EXPECT_EQ(silent.Read(1, 0ms), "");
}

}  // namespace
}  // namespace qkl::sim::testing
