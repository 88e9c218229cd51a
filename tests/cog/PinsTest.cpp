// Special registers and the pins: who drives a pin, what INA reads, when a change is seen.
#include <gtest/gtest.h>

#include "tests/cog/CogTesting.h"

namespace qkl::cog::testing {
namespace {

TEST(SpecialRegisters, ParCntAndInaReadLiveAsSourceAndAsShadowsAsDestination) {
  CogFixture fixture;
  fixture.chip.DriveExternally(0xF0, 0xA0);
  fixture.Start(0,
                Image({
                    MovImm(kPar, 5),                    // writes only the shadow
                    Mov(10, kPar),                      // source: the real PAR
                    Encode(kSub, kImm | kWz, kPar, 5),  // destination: the shadow, Z = (5 - 5 = 0)
                    Mov(11, kIna),
                    ReadCnt(12),
                    Mov(13, kCnt),
                    Jmp(6),
                }),
                0x1234);
  fixture.RunFor(CogFixture::kLoadCycles);
  const Cog& cog = fixture.chip.CogAt(0);
  EXPECT_EQ(cog.Register(10), 0x1234u);
  EXPECT_TRUE(cog.Z());
  EXPECT_EQ(cog.Register(kPar), 5u);
  EXPECT_EQ(cog.Register(11), 0xA0u);
  EXPECT_EQ(cog.Register(13) - cog.Register(12), 4u) << "CNT counts every clock";
}

TEST(SpecialRegisters, ParKeepsOnlyLongAddressBits) {
  CogFixture fixture;
  fixture.Start(0, Image({Mov(10, kPar), Jmp(1)}), 0xFFFF);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(0, 10), 0xFFFCu);
}

TEST(Pins, APinIsTheOrOfTheOutputsOfTheCogsThatDriveIt) {
  CogFixture fixture;
  fixture.chip.DriveExternally(0x3, 0x0);
  fixture.Start(1, Image({MovImm(kDira, 3), MovImm(kOuta, 1), Jmp(2)}));  // drives 0 high, 1 low
  fixture.Start(2, Image({MovImm(kOuta, 2), Jmp(1)}));  // OUTA without DIRA: nothing
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.chip.PinLevels() & 3, 1u);
  EXPECT_EQ(fixture.chip.ChipDirections(), 3u);
  fixture.Start(3, Image({MovImm(kDira, 2), MovImm(kOuta, 2), Jmp(2)}));
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.chip.PinLevels() & 3, 3u) << "a high from any driving cog wins";
  fixture.chip.StopCog(3);
  fixture.RunFor(4);
  EXPECT_FALSE(fixture.chip.CogAt(3).Active());
  EXPECT_EQ(fixture.chip.PinLevels() & 3, 1u) << "a cog stopped from outside drives nothing";
}

TEST(Pins, UndrivenPinsFollowTheOutsideThenThePullUps) {
  CogFixture fixture;
  EXPECT_EQ(fixture.chip.PinLevels(), 0u) << "floating pins read low";
  fixture.chip.SetPullUps(0xF0000000);
  EXPECT_EQ(fixture.chip.PinLevels(), 0xF0000000u);
  fixture.chip.DriveExternally(0x30000000, 0x00000000);
  EXPECT_EQ(fixture.chip.PinLevels(), 0xC0000000u);
  fixture.chip.DriveExternally(0x00000001, 0x00000001);
  EXPECT_EQ(fixture.chip.PinLevels(), 0xC0000001u);
  fixture.chip.ReleaseExternally(0x10000001);
  EXPECT_EQ(fixture.chip.PinLevels(), 0xD0000000u);
  // An open-drain line: a cog pulls it low with DIRA and releases it to the pull-up.
  std::vector<uint32_t> image = Image({Mov(kDira, 10), Jmp(1)});
  image[10] = 0x80000000;
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.chip.PinLevels() & 0x80000000, 0u);
  fixture.Start(0, Image({Jmp(0)}));
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.chip.PinLevels() & 0x80000000, 0x80000000u)
      << "a restarted cog releases its pins";
}

TEST(Pins, RunStopsAtTheClockAnOutputWriteReachesThePin) {
  CogFixture fixture;
  fixture.Start(0,
                Image({ReadCnt(10), MovImm(kDira, 1), MovImm(kOuta, 1), MovImm(kOuta, 0), Jmp(4)}));
  ASSERT_EQ(fixture.chip.Run(100000, 1), RunStop::kPinChange);
  // The sample is taken 2 clocks into the first instruction; the OUTA write starts 8 clocks
  // into the program and reaches the pin at the end of its fourth clock.
  const uint64_t rise = fixture.chip.Cycle();
  EXPECT_EQ(static_cast<uint32_t>(rise), fixture.Reg(0, 10) - 2 + 8 + 4);
  EXPECT_EQ(fixture.chip.PinLevels() & 1, 1u);
  ASSERT_EQ(fixture.chip.Run(100000, 1), RunStop::kPinChange);
  EXPECT_EQ(fixture.chip.Cycle(), rise + 4);
  EXPECT_EQ(fixture.chip.PinLevels() & 1, 0u);
  EXPECT_EQ(fixture.chip.Run(100000, 1), RunStop::kReachedCycle);
  EXPECT_EQ(fixture.chip.Cycle(), 100000u);
}

TEST(Pins, ChangesOfUnwatchedPinsDoNotStopTheRun) {
  CogFixture fixture;
  fixture.Start(0, Image({MovImm(kDira, 3), MovImm(kOuta, 1), MovImm(kOuta, 3), Jmp(3)}));
  ASSERT_EQ(fixture.chip.Run(100000, 2), RunStop::kPinChange);
  EXPECT_EQ(fixture.chip.PinLevels() & 3, 3u);
}

}  // namespace
}  // namespace qkl::cog::testing
