// Hub window timing and the wait instructions, measured with CNT as a program would.
#include <gtest/gtest.h>

#include "tests/cog/CogTesting.h"

namespace qkl::cog::testing {
namespace {

constexpr uint32_t kBefore = 20;
constexpr uint32_t kAfter = 21;

// Runs `code` in `cog` and returns CNT(after) - CNT(before) as sampled into 21 and 20.
uint32_t Measure(uint32_t cog, std::vector<uint32_t> code) {
  CogFixture fixture;
  fixture.Start(cog, Image(std::move(code)));
  fixture.RunFor(CogFixture::kLoadCycles + 400);
  return fixture.Reg(cog, kAfter) - fixture.Reg(cog, kBefore);
}

TEST(HubTiming, AHubInstructionTakesEightToTwentyThreeClocksByItsWindow) {
  for (uint32_t cog = 0; cog < 8; ++cog) {
    for (uint32_t padding = 0; padding < 16; ++padding) {
      // `padding` NOPs move the hub instruction's start through all 16 phases of the window.
      std::vector<uint32_t> code(padding % 4, Nop());
      code.push_back(ReadCnt(kBefore));
      code.push_back(RdLong(10, 11));
      code.push_back(ReadCnt(kAfter));
      code.push_back(Jmp(static_cast<uint32_t>(code.size())));
      const uint32_t clocks = Measure(cog, code) - 4;
      EXPECT_GE(clocks, 8u);
      EXPECT_LE(clocks, 23u);
    }
  }
}

TEST(HubTiming, TheWindowComesRoundEverySixteenClocksAndFitsTwoInstructionsBetween) {
  const uint32_t hub = RdLong(10, 11);
  // After one hub instruction the cog is in step with its window.
  EXPECT_EQ(Measure(0, {hub, ReadCnt(kBefore), hub, ReadCnt(kAfter), Jmp(4)}) - 4, 8u + 4u)
      << "one instruction between: the next window is 12 clocks on";
  EXPECT_EQ(Measure(0, {hub, ReadCnt(kBefore), Nop(), hub, ReadCnt(kAfter), Jmp(5)}) - 8, 8u);
  EXPECT_EQ(Measure(0, {hub, ReadCnt(kBefore), Nop(), Nop(), hub, ReadCnt(kAfter), Jmp(6)}) - 12,
            8u + 12u)
      << "three instructions between miss the window";
  EXPECT_EQ(Measure(3, {hub, ReadCnt(kBefore), hub, hub, ReadCnt(kAfter), Jmp(5)}) - 4, 12u + 16u)
      << "back to back: 16 clocks each once in step";
}

// Which clock a cog's window falls on: cog n is served 2n clocks after cog 0.
TEST(HubTiming, CogsAreServedInRoundRobinOrderTwoClocksApart) {
  uint32_t phase[8];
  for (uint32_t cog = 0; cog < 8; ++cog) {
    CogFixture fixture;
    fixture.Start(cog, Image({ReadCnt(kBefore), RdLong(10, 11), ReadCnt(kAfter), Jmp(3)}));
    fixture.RunFor(CogFixture::kLoadCycles + 400);
    // The hub instruction starts 2 clocks after the first sample and ends 5 clocks after its
    // window.
    const uint32_t start = fixture.Reg(cog, kBefore) + 2;
    const uint32_t end = fixture.Reg(cog, kAfter) - 2;
    phase[cog] = (end - 5) % 16;
    EXPECT_EQ(end - start, 8 + ((phase[cog] - (start + 3)) % 16));
  }
  for (uint32_t cog = 1; cog < 8; ++cog) EXPECT_EQ((phase[cog] - phase[0]) % 16, 2 * cog);
}

TEST(HubTiming, ReadsAndWritesOfEachSizeIgnoreTheLowAddressBits) {
  CogFixture fixture;
  fixture.WriteLongs(0x2000, {0x44332211});
  const uint32_t rdByte = Encode(kRdWrByte, kWr | kWz, 10, 20);
  const uint32_t rdWord = Encode(kRdWrWord, kWr, 11, 21);
  const uint32_t wrWord = Encode(kRdWrWord, 0, 22, 21);
  std::vector<uint32_t> image =
      Image({rdByte, rdWord, RdLong(12, 21), wrWord, Encode(kRdWrByte, 0, 22, 20), Jmp(5)});
  image[20] = 0x2002;
  image[21] = 0x2003;  // word and long reads ignore the low bits: $2002 and $2000
  image[22] = 0xBEEF;
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles + 200);
  EXPECT_EQ(fixture.Reg(0, 10), 0x33u);
  EXPECT_FALSE(fixture.chip.CogAt(0).Z());
  EXPECT_EQ(fixture.Reg(0, 11), 0x4433u);
  EXPECT_EQ(fixture.Reg(0, 12), 0x44332211u);
  EXPECT_EQ(fixture.chip.Memory().ReadLong(0x2000), 0xBEEF2211u)
      << "word written at $2002, then byte $EF at $2002";
}

TEST(WaitCnt, TakesSixClocksPlusTheDistanceToTheTarget) {
  auto run = [](uint32_t k) {
    return Measure(0, {ReadCnt(kBefore), Mov(10, kBefore), AddImm(10, k), WaitCnt(10, 0),
                       ReadCnt(kAfter), Jmp(5)});
  };
  // Three 4-clock instructions, then WAITCNT: its first comparison is 13 clocks after the sample.
  EXPECT_EQ(run(13), 4u + 4u + 4u + 6u);
  EXPECT_EQ(run(113), 4u + 4u + 4u + 6u + 100u);
}

// mov t,cnt / add t,#k / waitcnt t,#0 compares CNT with t first 9 clocks after the sample.
TEST(WaitCnt, NineClocksAfterSamplingIsTheSmallestTargetThatDoesNotWrap) {
  const std::vector<uint32_t> code = {ReadCnt(10), AddImm(10, 9), WaitCnt(10, 0), ReadCnt(kAfter),
                                      Jmp(4)};
  CogFixture nine;
  nine.Start(0, Image(code));
  nine.RunFor(CogFixture::kLoadCycles + 100);
  EXPECT_EQ(nine.Reg(0, kAfter) - nine.Reg(0, 10), 5u)
      << "ends 3 clocks after the target, sampled 2 later";

  std::vector<uint32_t> eight = code;
  eight[1] = AddImm(10, 8);
  CogFixture fixture;
  fixture.Start(0, Image(eight));
  fixture.RunFor(CogFixture::kLoadCycles + 100000);
  EXPECT_EQ(fixture.chip.CogAt(0).Pc(), 2u)
      << "a target of 8 is already past: the wait runs to the counter wrap";
  fixture.RunFor(uint64_t{1} << 32);
  EXPECT_EQ(fixture.chip.CogAt(0).Pc(), 4u);
  EXPECT_EQ(fixture.Reg(0, kAfter) - fixture.Reg(0, 10), 5u);
}

TEST(WaitCnt, AddsSToTheTargetAndSetsCFromThatCarry) {
  CogFixture fixture;
  std::vector<uint32_t> image = Image({ReadCnt(kBefore), Mov(10, kBefore), AddImm(10, 13),
                                       Encode(kWaitCnt, kWr | kWc | kWz, 10, 11), Jmp(4)});
  image[11] = 0xFFFFFFFF;
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles + 100);
  EXPECT_EQ(fixture.Reg(0, 10), fixture.Reg(0, kBefore) + 12);
  EXPECT_TRUE(fixture.chip.CogAt(0).C());
  EXPECT_FALSE(fixture.chip.CogAt(0).Z());
}

TEST(WaitPins, WaitPeqEndsThreeClocksAfterThePinMatchesAndTakesSixWhenItAlreadyDoes) {
  CogFixture fixture;
  std::vector<uint32_t> image =
      Image({ReadCnt(kBefore), Encode(kWaitPeq, 0, 12, 12), ReadCnt(kAfter), Jmp(3)});
  image[12] = 1u << 5;
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles + 1000);
  EXPECT_EQ(fixture.chip.CogAt(0).Phase(), CogPhase::kParked);
  const uint64_t raised = fixture.chip.Cycle();
  fixture.chip.DriveExternally(1u << 5, 1u << 5);
  fixture.RunFor(100);
  EXPECT_EQ(fixture.Reg(0, kAfter), static_cast<uint32_t>(raised + 3 + 2));

  CogFixture ready;
  ready.chip.DriveExternally(1u << 5, 1u << 5);
  ready.Start(0, image);
  ready.RunFor(CogFixture::kLoadCycles + 100);
  EXPECT_EQ(ready.Reg(0, kAfter) - ready.Reg(0, kBefore), 4u + 6u);
}

TEST(WaitPins, WaitPneWaitsForTheMaskedPinsToDifferFromD) {
  CogFixture fixture;
  fixture.chip.DriveExternally(0xFF, 0x0F);
  std::vector<uint32_t> image = Image({Encode(kWaitPne, 0, 12, 13), MovImm(10, 1), Jmp(2)});
  image[12] = 0x0F;
  image[13] = 0xF0 | 0x0F;
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles + 1000);
  EXPECT_EQ(fixture.Reg(0, 10), 0u);
  fixture.chip.DriveExternally(0x100, 0x100);  // outside the mask: still waiting
  fixture.RunFor(1000);
  EXPECT_EQ(fixture.Reg(0, 10), 0u);
  fixture.chip.DriveExternally(0x80, 0x80);
  fixture.RunFor(1000);
  EXPECT_EQ(fixture.Reg(0, 10), 1u);
}

TEST(WaitPins, AWaitingCogIsWokenByAnotherCogsOutput) {
  CogFixture fixture;
  std::vector<uint32_t> waiter = Image({Encode(kWaitPeq, 0, 12, 12), ReadCnt(10), Jmp(2)});
  waiter[12] = 1u << 3;
  fixture.Start(1, waiter);
  // Cog 2 waits a while, then drives pin 3 high; the change reaches the pin after its 4th clock.
  std::vector<uint32_t> driver = Image(
      {MovImm(kDira, 8), ReadCnt(11), AddImm(11, 200), WaitCnt(11, 0), MovImm(kOuta, 8), Jmp(5)});
  fixture.Start(2, driver);
  fixture.RunFor(CogFixture::kLoadCycles + 2000);
  const uint32_t outaStart = fixture.Reg(2, 11) + 3;  // the waitcnt ends 3 clocks after its target
  EXPECT_EQ(fixture.Reg(1, 10), outaStart + 4 + 3 + 2);
}

}  // namespace
}  // namespace qkl::cog::testing
