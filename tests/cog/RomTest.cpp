// The chip's own ROM on the emulator: stored format, unscrambled cog loads, and reset.
#include <gtest/gtest.h>

#include <fstream>

#include "sim/cog/EmulationError.h"
#include "sim/cog/RomImage.h"
#include "tests/cog/CogTesting.h"
#include "tests/support/RomFolder.h"
#include "tests/support/TempFolder.h"

namespace qkl::cog::testing {
namespace {

// test $0D8, ina wc
constexpr uint32_t kBootLoaderFirstInstruction = Encode(kAnd, kWc, 0x0D8, kIna);

class Rom : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = simtest::WhyNoRom(); !why.empty())
      GTEST_SKIP() << why << "; ROM tests skipped";
    directory = simtest::RomFolder();
  }
  std::filesystem::path directory;
};

TEST_F(Rom, HubReadsSeeTheLongsAsStored) {
  Hub hub;
  hub.LoadRom(directory);
  EXPECT_EQ(hub.ReadByte(0xFFFF), 1) << "version byte";
  EXPECT_EQ(hub.ReadByte(0xFFF9), 0x3F);
  EXPECT_EQ(hub.ReadByte(0xFFFA), 0x89);
  EXPECT_EQ(hub.ReadByte(0xFFFB), 0x21);
  EXPECT_EQ(hub.ReadLong(0xFFFC), 0x0171FF04u);
  EXPECT_THROW(hub.WriteByte(0xFFFF, 0), EmulationError);
}

TEST_F(Rom, ACogLoadUnscramblesTheBootLoadersFirstLong) {
  EXPECT_EQ(kBootLoaderFirstInstruction, 0x613DB1F2u);
  Hub hub;
  hub.LoadRom(directory);
  EXPECT_EQ(UnscrambleRomLong(hub.ReadLong(0xF800)), kBootLoaderFirstInstruction);
  EXPECT_EQ(hub.ReadLongForCogLoad(0xF800), kBootLoaderFirstInstruction);
  EXPECT_NE(hub.ReadLong(0xF800), kBootLoaderFirstInstruction);
}

TEST_F(Rom, AtResetCogZeroLoadsTheBootLoader) {
  Chip chip({.clock = {}, .romDirectory = directory});
  EXPECT_EQ(chip.CogAt(0).Phase(), CogPhase::kLoading);
  chip.Run(8200, 0);
  EXPECT_EQ(chip.CogAt(0).Register(0), kBootLoaderFirstInstruction);
  EXPECT_EQ(chip.CogAt(0).Par(), 0u);
}

TEST_F(Rom, WithRxLowTheBootLoaderGivesUpOnTheHostAndTriesTheEeprom) {
  // No host: P31 held low. Without an EEPROM the loader shuts the chip down.
  Chip chip({.clock = {}, .romDirectory = directory});
  chip.SetPullUps(1u << 29);
  chip.DriveExternally(1u << 31, 0);
  RunStop stop = RunStop::kReachedCycle;
  while (stop != RunStop::kClockStopped && chip.Seconds() < 2.0)
    stop = chip.Run(chip.Cycle() + 120000, 0);
  EXPECT_EQ(stop, RunStop::kClockStopped);
  EXPECT_EQ(chip.ChipDirections(), 0u) << "every pin released";
  EXPECT_LT(chip.Seconds(), 0.5);
}

TEST(RomFiles, MissingOrMalformedFilesAreRefusedWithTheFileAndLine) {
  const simtest::TempFolder folder;
  const std::filesystem::path& directory = folder.Root();
  EXPECT_THROW(LoadRomImage(directory / "absent"), std::runtime_error);
  { std::ofstream(directory / "hub_rom_low.hex") << ":0400000001020304F1\n:00000001FF\n"; }
  try {
    LoadRomImage(directory);
    ADD_FAILURE() << "accepted a ROM file with a bad checksum";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("hub_rom_low.hex line 1: checksum"), std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace qkl::cog::testing
