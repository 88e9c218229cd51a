#include "tests/e2e/ReadBackRoundTrip.h"

#include <iostream>

#include "tests/e2e/ReadBackRun.h"
#include "tests/support/HostBits.h"
#include "tests/support/EmulatorSpeed.h"
#include "tests/support/TempFolder.h"

namespace e2e {

TEST_P(ReadBackRoundTrip, ImageWrittenInModeThreeComesBackWithTheWholeEeprom) {
  if (const std::string Why = simtest::WhyNoRealTime(GetParam().ClockMhz); !Why.empty())
    GTEST_SKIP() << Why;
  const simtest::TempFolder Folder;
  const std::string Eeprom = Folder.File("chip.eeprom");
  simtest::ThreadChip Chip(ChipWithEeprom(Eeprom, GetParam().ClockMhz));
  const std::vector<uint8_t> Image = simtest::TinyImage(1500);
  simtest::WriteFile(Folder.File("image.binary"), Image);
  std::vector<std::string> Write = RateArguments(GetParam().FastLink);
  Write.insert(Write.end(), {"-d", Chip.SlavePath(), "-p", "3", Folder.File("image.binary")});
  ASSERT_EQ(UntilFound(GetParam(), [&] { return simtest::RunQklTimed(Write); }).Run.ExitCode, 0);

  const TimedRun Read = UntilFound(GetParam(), [&] {
    return ReadBack(Chip.SlavePath(), GetParam().FastLink, Folder.File("dump"));
  });
  std::cout << "read-back at " << ::testing::PrintToString(GetParam()) << ": " << Read.Took.count()
            << " s\n";
  EXPECT_EQ(Read.Run.ExitCode, 0) << Read.Run.Output << Chip.Log().Text();
  ASSERT_GE(Read.Run.Lines.size(), 4u) << Read.Run.Output;
  const std::vector<std::string> Tail(Read.Run.Lines.end() - 4, Read.Run.Lines.end());
  EXPECT_EQ(Tail[0], "Read done");
  EXPECT_EQ(Tail[1], "CRC is good");
  EXPECT_EQ(Tail[3], "All good!");
  const std::vector<uint8_t> Dump = simtest::FileBytes(Folder.File("dump.eeprom"));
  EXPECT_EQ(Dump, simtest::FileBytes(Eeprom));
  ASSERT_EQ(Dump.size(), 32768u);
  EXPECT_TRUE(std::equal(Image.begin(), Image.end(), Dump.begin()));
  EXPECT_EQ(TimingReportOfLastProgram(Chip.Log()), "I2C timing: 0 violations");
}

}  // namespace e2e
