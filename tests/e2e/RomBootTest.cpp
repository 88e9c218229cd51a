// The built qkl against a virtual chip that boots the chip's own ROM on the cog emulator: the
// real boot loader answers the handshake, takes RAM loads, programs the EEPROM model over I2C,
// and the real interpreter starts the reader program for the read-back.
#include <gtest/gtest.h>

#include <iostream>

#include "tests/e2e/LoaderUnderTest.h"
#include "tests/e2e/ReadBackRoundTrip.h"
#include "tests/e2e/ReadBackRun.h"
#include "tests/support/HostBits.h"
#include "tests/support/TempFolder.h"

namespace e2e {

void RomBoot::SetUp() {
  if (const std::string Why = SkipReason(LoaderKind::Rom); !Why.empty()) GTEST_SKIP() << Why;
}

namespace {

// The largest image qkl sends: its two stack marker longs fill the last eight bytes of RAM.
constexpr int FullImageBodyLongs = 8186;

TimedRun Qkl(const ClockAndRate& Combination, const std::vector<std::string>& Arguments) {
  std::vector<std::string> All = RateArguments(Combination.FastLink);
  All.insert(All.end(), Arguments.begin(), Arguments.end());
  return UntilFound(Combination, [&] { return simtest::RunQklTimed(All); });
}

TEST_P(RomBoot, DetectsLoadsWritesAFullEepromAndReadsItBack) {
  const simtest::TempFolder Folder;
  const std::string Eeprom = Folder.File("chip.eeprom");
  simtest::ThreadChip Chip(LoaderChip(LoaderKind::Rom, Eeprom, GetParam().ClockMhz));
  const QklRun Detect = Qkl(GetParam(), {"-d", Chip.SlavePath()}).Run;
  EXPECT_EQ(Detect.ExitCode, 0) << Detect.Output << Chip.Log().Text();
  EXPECT_EQ(Detect.Lines.back(), simtest::Found);

  simtest::WriteFile(Folder.File("small.binary"), simtest::TinyImage(1500));
  const QklRun Ram =
      Qkl(GetParam(), {"-d", Chip.SlavePath(), "-p", "1", Folder.File("small.binary")}).Run;
  EXPECT_EQ(Ram.ExitCode, 0) << Ram.Output << Chip.Log().Text();

  const std::vector<uint8_t> Image = simtest::TinyImage(FullImageBodyLongs);
  simtest::WriteFile(Folder.File("full.binary"), Image);
  const TimedRun Write =
      Qkl(GetParam(), {"-d", Chip.SlavePath(), "-p", "3", Folder.File("full.binary")});
  EXPECT_EQ(Write.Run.ExitCode, 0) << Write.Run.Output << Chip.Log().Text();
  const std::vector<uint8_t> Written = simtest::FileBytes(Eeprom);
  ASSERT_EQ(Written.size(), 32768u);
  EXPECT_TRUE(std::equal(Image.begin(), Image.end(), Written.begin()));

  const TimedRun Read = UntilFound(GetParam(), [&] {
    return ReadBack(Chip.SlavePath(), GetParam().FastLink, Folder.File("dump"));
  });
  EXPECT_EQ(Read.Run.ExitCode, 0) << Read.Run.Output << Chip.Log().Text();
  ASSERT_GE(Read.Run.Lines.size(), 4u) << Read.Run.Output;
  EXPECT_EQ(Read.Run.Lines[Read.Run.Lines.size() - 3], "CRC is good");
  EXPECT_EQ(Read.Run.Lines.back(), "All good!");
  EXPECT_EQ(simtest::FileBytes(Folder.File("dump.eeprom")), Written);
  std::cout << "ROM boot at " << ::testing::PrintToString(GetParam()) << ": 32 KB EEPROM write "
            << Write.Took.count() << " s, read-back " << Read.Took.count() << " s\n";
}

}  // namespace

}  // namespace e2e
