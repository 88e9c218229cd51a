// The built qkl against a virtual chip that boots the chip's own ROM on the cog emulator: the
// real boot loader answers the handshake, takes RAM loads, programs the EEPROM model over I2C,
// and the real interpreter starts the reader program for the read-back.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iostream>

#include "tests/e2e/ReadBackRoundTrip.h"
#include "tests/e2e/ReadBackRun.h"
#include "tests/support/HostBits.h"
#include "tests/support/WireDecoder.h"

namespace e2e {

const char* const RomDirectory = "/work/shared/p1-rom";

void RomBoot::SetUp() {
  if (!EmulatorKeepsUpWithTheHost()) GTEST_SKIP() << SlowEmulator;
  if (!std::filesystem::exists(std::filesystem::path(RomDirectory) / "hub_rom_low.hex"))
    GTEST_SKIP() << "the chip's ROM is not in " << RomDirectory << "; nothing here can run without it";
}

namespace {

sim::ChipSettings RomChip(const std::string& EepromPath, const ClockAndRate& Combination) {
  sim::ChipSettings Chip = ChipWithEeprom(EepromPath, Combination.ClockMhz);
  Chip.RomDirectory = RomDirectory;
  return Chip;
}

QklRun Qkl(const ClockAndRate& Combination, const std::vector<std::string>& Arguments) {
  std::vector<std::string> All = RateArguments(Combination.FastLink);
  All.insert(All.end(), Arguments.begin(), Arguments.end());
  return RunQkl(All);
}

double SecondsOf(const std::function<void()>& Work) {
  const auto Start = std::chrono::steady_clock::now();
  Work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

TEST_P(RomBoot, DetectsLoadsWritesTheEepromAndReadsItBack) {
  const ScratchFolder Folder;
  const std::string Eeprom = Folder.File("chip.eeprom");
  simtest::ThreadChip Chip(RomChip(Eeprom, GetParam()));
  const QklRun Detect = Qkl(GetParam(), {"-d", Chip.SlavePath()});
  EXPECT_EQ(Detect.ExitCode, 0) << Detect.Output << Chip.Log().Text();
  EXPECT_EQ(Detect.Lines.back(), "Propeller Version 1 Found!");

  const std::vector<uint8_t> Image = simtest::TinyImage(1500);
  simtest::WriteFile(Folder.File("image.binary"), Image);
  const QklRun Ram = Qkl(GetParam(), {"-d", Chip.SlavePath(), "-p", "1", Folder.File("image.binary")});
  EXPECT_EQ(Ram.ExitCode, 0) << Ram.Output << Chip.Log().Text();

  QklRun Write;
  const double WriteSeconds = SecondsOf([&] { Write = Qkl(GetParam(), {"-d", Chip.SlavePath(), "-p", "3", Folder.File("image.binary")}); });
  EXPECT_EQ(Write.ExitCode, 0) << Write.Output << Chip.Log().Text();
  const std::vector<uint8_t> Written = FileBytes(Eeprom);
  ASSERT_EQ(Written.size(), 32768u);
  EXPECT_TRUE(std::equal(Image.begin(), Image.end(), Written.begin()));

  const TimedRun Read = ReadBack(Chip.SlavePath(), GetParam().FastLink, Folder.File("dump"));
  EXPECT_EQ(Read.Run.ExitCode, 0) << Read.Run.Output << Chip.Log().Text();
  EXPECT_EQ(Read.Run.Lines.back(), "All good!");
  EXPECT_EQ(FileBytes(Folder.File("dump.eeprom")), Written);
  std::cout << "ROM boot at " << ::testing::PrintToString(GetParam()) << ": EEPROM write " << WriteSeconds
            << " s, read-back " << Read.Seconds << " s\n";
}

}  // namespace

}  // namespace e2e
