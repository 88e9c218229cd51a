// Cog start and stop, locks, the clock register and time, and the errors that stop the chip.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sim/cog/EmulationError.h"
#include "tests/cog/CogTesting.h"

namespace qkl::cog::testing {
namespace {

using ::testing::HasSubstr;

constexpr uint32_t CogInitValue(uint32_t par, uint32_t code, uint32_t id) {
  return ((par & 0xFFFC) << 16) | ((code & 0xFFFC) << 2) | id;
}

TEST(CogInit, StartsTheChosenCogWithItsParAfterAboutEightThousandClocks) {
  CogFixture fixture;
  fixture.WriteLongs(0x3000, Image({ReadCnt(10), Mov(11, kPar), WrLong(10, 11), Jmp(3)}));
  std::vector<uint32_t> image =
      Image({ReadCnt(20), Encode(kHubOp, kImm | kWr | kWc | kWz, 21, kCogInit), Jmp(2)});
  image[21] = CogInitValue(0x4000, 0x3000, 5);
  fixture.Start(0, image);
  fixture.RunFor(3 * CogFixture::kLoadCycles);
  const Cog& started = fixture.chip.CogAt(5);
  ASSERT_TRUE(started.Active());
  EXPECT_EQ(started.Par(), 0x4000u);
  EXPECT_EQ(fixture.Reg(0, 21), 5u) << "WR gives the id";
  EXPECT_FALSE(fixture.chip.CogAt(0).C());
  EXPECT_FALSE(fixture.chip.CogAt(0).Z());
  const uint32_t firstSample = fixture.chip.Memory().ReadLong(0x4000);
  const uint32_t delay = firstSample - fixture.Reg(0, 20);
  EXPECT_GE(delay, 8192u);
  EXPECT_LE(delay, 8192u + 64u);
}

TEST(CogInit, NewCogTakesTheLowestFreeOneAndReportsWhenNoneIsLeft) {
  CogFixture fixture;
  fixture.WriteLongs(0x3000, Image({Jmp(0)}));
  std::vector<uint32_t> image =
      Image({Encode(kHubOp, kImm | kWr | kWc, 21, kCogInit), Mov(22, 21), Jmp(1)});
  image[21] = CogInitValue(0, 0x3000, 8);
  fixture.Start(2, image);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(2, 22), 0u);
  EXPECT_TRUE(fixture.chip.CogAt(0).Active());
  for (uint32_t cog : {1u, 3u, 4u, 5u, 6u, 7u}) fixture.Start(cog, Image({Jmp(0)}));
  fixture.Start(2, image);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(2, 22), 7u);
  EXPECT_TRUE(fixture.chip.CogAt(2).C()) << "no cog was free";
}

TEST(CogInit, ACogCanRestartItselfAndCogStopReleasesACog) {
  CogFixture fixture;
  // Restarts itself once, with a PAR that makes the second run skip the COGINIT.
  std::vector<uint32_t> image = Image(
      {AddImm(10, 1), Mov(11, kPar), Encode(kTjnz, kImm, 11, 4), HubOp(12, kCogInit), Jmp(4)});
  image[12] = CogInitValue(0x100, CogFixture::kImageAddress + 0x800, 1);
  fixture.Start(1, image);
  fixture.RunFor(CogFixture::kLoadCycles + 100);
  EXPECT_EQ(fixture.chip.CogAt(1).Phase(), CogPhase::kLoading);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(1, 11), 0x100u);
  EXPECT_EQ(fixture.Reg(1, 10), 1u) << "registers came fresh from hub";

  std::vector<uint32_t> stopper = Image({Encode(kHubOp, kImm | kWc | kWz, 12, kCogStop), Jmp(1)});
  stopper[12] = 1;
  fixture.Start(3, stopper);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_FALSE(fixture.chip.CogAt(1).Active());
  EXPECT_FALSE(fixture.chip.CogAt(3).Z());
}

TEST(CogId, GivesTheCogsOwnNumber) {
  CogFixture fixture;
  fixture.Start(6, Image({HubOp(10, kCogId, kWr | kWz), Jmp(1)}));
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(6, 10), 6u);
  EXPECT_FALSE(fixture.chip.CogAt(6).Z());
}

TEST(Locks, NewSetClearAndReturnReportThePreviousState) {
  CogFixture fixture;
  std::vector<uint32_t> image = Image({
      HubOp(10, kLockNew, kWr),
      HubOp(11, kLockNew, kWr),
      HubOp(11, kLockSet, kWc),
      MuxC(12, 1),
      HubOp(11, kLockSet, kWc),
      MuxC(12, 2),
      HubOp(11, kLockClr, kWc),
      MuxC(12, 4),
      HubOp(10, kLockRet),
      HubOp(13, kLockNew, kWr),
      Jmp(10),
  });
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles + 400);
  EXPECT_EQ(fixture.Reg(0, 10), 0u);
  EXPECT_EQ(fixture.Reg(0, 11), 1u);
  EXPECT_EQ(fixture.Reg(0, 12), 2u | 4u)
      << "clear before the first set, set before the second set and the clear";
  EXPECT_EQ(fixture.Reg(0, 13), 0u) << "the returned lock is the lowest free one again";
}

TEST(Clock, ClkSetChangesTheFrequencyAndTimeCountsCyclesAtEachFrequency) {
  ChipConfig config;
  config.clock.rcFastHz = 10e6;
  config.clock.rcSlowHz = 20e3;
  CogFixture fixture(config);
  std::vector<uint32_t> image = Image({ReadCnt(20), HubOp(10, kClkSet), ReadCnt(21), Jmp(3)});
  image[10] = 0x01;  // RCSLOW
  fixture.Start(0, image);
  EXPECT_EQ(fixture.chip.Run(CogFixture::kLoadCycles + 200, 0), RunStop::kClockChanged);
  const uint64_t switched = fixture.chip.Cycle();
  fixture.RunFor(CogFixture::kLoadCycles + 200 - switched);
  EXPECT_EQ(fixture.chip.ClockRegister(), 0x01);
  EXPECT_EQ(fixture.chip.FrequencyHz(), 20e3);
  // The switch happened at the CLKSET's hub window: 3 to 18 clocks into the instruction,
  // which starts 2 clocks after the first sample.
  const double seconds = fixture.chip.Seconds();
  const uint64_t cycles = fixture.chip.Cycle();
  const uint32_t sample = fixture.Reg(0, 20);
  auto secondsIfSwitchedAt = [&](uint64_t at) { return at / 10e6 + (cycles - at) / 20e3; };
  EXPECT_GE(switched, sample + 5u);
  EXPECT_LE(switched, sample + 20u);
  EXPECT_NEAR(seconds, secondsIfSwitchedAt(switched), 1e-9);
  EXPECT_NEAR(static_cast<double>(fixture.chip.CycleAt(seconds + 1.0)), cycles + 20000.0, 1.0);
}

TEST(Clock, CrystalModesMultiplyTheCrystalAndNeedOneConfigured) {
  ChipConfig config;
  config.clock.crystalHz = 5e6;
  EXPECT_EQ(ClockFrequency(0x6F, config.clock), 80e6);
  EXPECT_EQ(ClockFrequency(0x22, config.clock), 5e6);
  EXPECT_EQ(ClockFrequency(0x0F, config.clock), 0)
      << "PLL tap without oscillator and PLL: no clock";
  EXPECT_EQ(ClockFrequency(0x02, config.clock), 0);
  EXPECT_THROW(ClockFrequency(0x6F, ClockSources{}), EmulationError);
  config.clock.rcFastHz = 21e6;
  EXPECT_THROW(Chip{config}, std::invalid_argument);
}

struct Settling {
  const char* name;
  uint8_t enable;  // the first CLK write, which switches the oscillator or PLL on
  double waitMs;   // at 12 MHz before the second write, and again before the third
  uint8_t select;  // the second, which takes the clock from them
  uint8_t last;    // the third
  double hz;       // the frequency at the end; 0: the second write stops the chip
};

class ClockSettling : public ::testing::TestWithParam<Settling> {};

TEST_P(ClockSettling, TheOscillatorAndPllClockTheChipOnlyAfterTenMilliseconds) {
  const Settling& each = GetParam();
  ChipConfig config;
  config.clock.crystalHz = 5e6;
  CogFixture fixture(config);
  const uint32_t add = Encode(kAdd, kWr, 12, 11);
  std::vector<uint32_t> image =
      Image({HubOp(13, kClkSet), ReadCnt(12), add, WaitCnt(12, 0), HubOp(14, kClkSet), ReadCnt(12),
             add, WaitCnt(12, 0), HubOp(15, kClkSet), Jmp(9)});
  const auto wait = static_cast<uint32_t>(each.waitMs * 12e3);
  image[11] = wait;
  image[13] = each.enable;
  image[14] = each.select;
  image[15] = each.last;
  fixture.Start(0, image);
  if (each.hz != 0) {
    fixture.RunFor(CogFixture::kLoadCycles + 3 * wait);
    EXPECT_EQ(fixture.chip.ClockRegister(), each.last);
    EXPECT_EQ(fixture.chip.FrequencyHz(), each.hz);
    return;
  }
  try {
    fixture.RunFor(CogFixture::kLoadCycles + 3 * wait);
    ADD_FAILURE() << "no error; the clock runs at " << fixture.chip.FrequencyHz() << " Hz";
  } catch (const EmulationError& error) {
    EXPECT_THAT(error.what(), HasSubstr("10 ms to settle first"));
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Clock, ClockSettling, ::testing::Values(
    Settling{"PllAfterTenMilliseconds",        0x68, 10.5, 0x6F, 0x6F, 80e6},
    Settling{"PllTooSoon",                     0x68,  9.5, 0x6F, 0x6F, 0},
    Settling{"PllSwitchedOnWithTheSelection",  0x28, 10.5, 0x6F, 0x6F, 0},
    Settling{"OscillatorAfterTenMilliseconds", 0x28, 10.5, 0x2A, 0x2A, 5e6},
    Settling{"OscillatorTooSoon",              0x28,  2.0, 0x2A, 0x2A, 0},
    Settling{"BackToRcFastFromThePll",         0x68, 10.5, 0x6F, 0x00, 12e6}),
    [](const ::testing::TestParamInfo<Settling>& info) { return std::string(info.param.name); });
// clang-format on

// Cog 0 writes `mode` to CLK and then idles.
void StartClkSet(CogFixture& fixture, uint32_t mode) {
  std::vector<uint32_t> image = Image({HubOp(10, kClkSet), Jmp(1)});
  image[10] = mode;
  fixture.Start(0, image);
}

TEST(Clock, WritingTwoStopsTheClockUntilReset) {
  CogFixture fixture;
  StartClkSet(fixture, 0x02);
  EXPECT_EQ(fixture.chip.Run(100000), RunStop::kClockStopped);
  const uint64_t stoppedAt = fixture.chip.Cycle();
  EXPECT_LT(stoppedAt, 100000u);
  const uint64_t instructions = fixture.chip.InstructionCount();
  const uint32_t pc = fixture.chip.CogAt(0).Pc();
  // Time still passes for the world outside, but no cog moves.
  EXPECT_EQ(fixture.chip.Run(200000), RunStop::kClockStopped);
  EXPECT_EQ(fixture.chip.Cycle(), 200000u);
  EXPECT_NEAR(fixture.chip.Seconds(), 200000 / 12e6, 1e-12);
  EXPECT_EQ(fixture.chip.InstructionCount(), instructions);
  EXPECT_EQ(fixture.chip.CogAt(0).Pc(), pc);
  EXPECT_EQ(fixture.chip.FrequencyHz(), 0);
  fixture.chip.Reset();
  EXPECT_FALSE(fixture.chip.ClockStopped());
  EXPECT_EQ(fixture.chip.Run(300000), RunStop::kReachedCycle);
  EXPECT_FALSE(fixture.chip.CogAt(0).Active());
}

TEST(Clock, TheResetBitResetsTheChip) {
  CogFixture fixture;
  StartClkSet(fixture, 0x80);
  EXPECT_EQ(fixture.chip.Run(100000), RunStop::kSoftwareReset);
  EXPECT_FALSE(fixture.chip.CogAt(0).Active());
  EXPECT_EQ(fixture.chip.ClockRegister(), 0);
}

std::string ErrorOf(const std::vector<uint32_t>& image, const ChipConfig& config = {}) {
  CogFixture fixture(config);
  fixture.Start(2, image);
  try {
    fixture.RunFor(CogFixture::kLoadCycles);
  } catch (const EmulationError& error) {
    // The chip stays stopped with the same error.
    EXPECT_THROW(fixture.RunFor(10), EmulationError);
    return error.what();
  }
  return "no error";
}

TEST(Errors, WhatIsNotModelledStopsTheChipWithAMessageNamingItAndWhere) {
  EXPECT_THAT(ErrorOf(Image({Nop(), 0x10BC0202})), HasSubstr("cog 2 at $001 ($10BC0202 MUL)"));
  EXPECT_THAT(ErrorOf(Image({0x10BC0202})), HasSubstr("not part of the P8X32A"));
  std::vector<uint32_t> rom = Image({WrLong(10, 11), Jmp(1)});
  rom[11] = 0x8000;
  EXPECT_THAT(ErrorOf(rom), HasSubstr("write to ROM address $8000"));
  rom[0] = RdLong(10, 11);
  EXPECT_THAT(ErrorOf(rom), HasSubstr("no ROM is loaded"));
  std::vector<uint32_t> counter = Image({Mov(kCtra, 10), Jmp(1)});
  counter[10] = 4u << 26;
  EXPECT_THAT(ErrorOf(counter), HasSubstr("counters are not modelled"));
  EXPECT_THAT(ErrorOf(Image({Encode(kWaitVid, 0, 10, 11)})),
              HasSubstr("video generator is not modelled"));
  EXPECT_THAT(ErrorOf(Image({MovImm(kVcfg, 1)})), HasSubstr("video generator is not modelled"));
  EXPECT_THAT(ErrorOf(Image({Encode(kRdWrLong, kWr | kWc, 10, 11)})),
              HasSubstr("C flag is not documented"));
  EXPECT_THAT(ErrorOf(Image({Jmp(0x1FF)})), HasSubstr("$1FF"));
}

TEST(Errors, CountersOffAndPlainCounterRegistersAreAccepted) {
  std::vector<uint32_t> image =
      Image({MovImm(kCtra, 0), MovImm(kFrqa, 5), MovImm(kPhsa, 7), Mov(10, kPhsa), Jmp(4)});
  CogFixture fixture;
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(0, 10), 7u) << "with the counter off PHSA holds what was written";
}

TEST(Errors, ResetClearsAnError) {
  CogFixture fixture;
  fixture.Start(0, Image({0x10BC0202}));
  EXPECT_THROW(fixture.RunFor(CogFixture::kLoadCycles), EmulationError);
  fixture.chip.Reset();
  EXPECT_NO_THROW(fixture.RunFor(10));
}

}  // namespace
}  // namespace qkl::cog::testing
