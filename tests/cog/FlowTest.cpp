// Conditions, jumps and calls, the branch timings and the one-instruction pipeline effect.
#include <gtest/gtest.h>

#include <functional>

#include "tests/cog/CogTesting.h"

namespace qkl::cog::testing {
namespace {

TEST(Encoding, HelpersReproduceThePublishedInstructionWords) {
  EXPECT_EQ(MovImm(kDira, 1), 0xA0FFEC01u);
  EXPECT_EQ(ReadCnt(0x010), 0xA0BC21F1u);
  EXPECT_EQ(AddImm(0x010, 9), 0x80FC2009u);
  EXPECT_EQ(WaitCnt(0x010, 0), 0xF8FC2000u);
  EXPECT_EQ(Jmp(5), 0x5C7C0005u);
  EXPECT_EQ(RdLong(0x013, kPar), 0x08BC27F0u);
  EXPECT_EQ(WrLong(0x013, kPar), 0x083C27F0u);
  EXPECT_EQ(HubOp(0x015, kCogInit), 0x0C7C2A02u);
  EXPECT_EQ(Encode(kDjnz, kWr | kImm, 0x011, 4), 0xE4FC2204u);
}

// Each condition against each flag combination, from the condition table's wording.
TEST(Conditions, EachConditionRunsExactlyForItsFlagCombinations) {
  const std::function<bool(bool, bool)> table[16] = {
      [](bool, bool) { return false; },       [](bool c, bool z) { return !c && !z; },
      [](bool c, bool z) { return !c && z; }, [](bool c, bool) { return !c; },
      [](bool c, bool z) { return c && !z; }, [](bool, bool z) { return !z; },
      [](bool c, bool z) { return c != z; },  [](bool c, bool z) { return !c || !z; },
      [](bool c, bool z) { return c && z; },  [](bool c, bool z) { return c == z; },
      [](bool, bool z) { return z; },         [](bool c, bool z) { return !c || z; },
      [](bool c, bool) { return c; },         [](bool c, bool z) { return c || !z; },
      [](bool c, bool z) { return c || z; },  [](bool, bool) { return true; },
  };
  for (uint32_t condition = 0; condition < 16; ++condition) {
    for (int flags = 0; flags < 4; ++flags) {
      const bool c = flags & 2;
      const bool z = flags & 1;
      CogFixture fixture;
      std::vector<uint32_t> image = Image({
          Mov(20, 21, kWc),
          Mov(20, 22, kWz),
          Encode(kMov, kWr | kImm, 10, 1, condition),
          Jmp(3),
      });
      image[21] = c ? 0x80000000 : 0;
      image[22] = z ? 0 : 1;
      fixture.Start(0, image);
      fixture.RunFor(CogFixture::kLoadCycles);
      EXPECT_EQ(fixture.Reg(0, 10), table[condition](c, z) ? 1u : 0u)
          << "condition " << condition << " C=" << c << " Z=" << z;
    }
  }
}

// Clocks taken by `word`, measured the way a program would: CNT before and after.
uint32_t ClocksOf(uint32_t word, uint32_t dValue = 0, std::vector<uint32_t> extra = {}) {
  CogFixture fixture;
  std::vector<uint32_t> code = {ReadCnt(20), word, ReadCnt(21), Jmp(3)};
  std::vector<uint32_t> image = Image(code);
  image[10] = dValue;
  for (std::size_t i = 0; i < extra.size(); ++i) image[4 + i] = extra[i];
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles + 200);
  return fixture.Reg(0, 21) - fixture.Reg(0, 20) - 4;
}

TEST(Branches, DjnzTjzTjnzTakeFourClocksWhenTheyJumpAndEightWhenTheyFallThrough) {
  // The jump target is the next instruction, so both paths reach the second CNT read.
  EXPECT_EQ(ClocksOf(Encode(kDjnz, kWr | kImm, 10, 2), 5), 4u);
  EXPECT_EQ(ClocksOf(Encode(kDjnz, kWr | kImm, 10, 2), 1), 8u);
  EXPECT_EQ(ClocksOf(Encode(kTjz, kImm, 10, 2), 0), 4u);
  EXPECT_EQ(ClocksOf(Encode(kTjz, kImm, 10, 2), 3), 8u);
  EXPECT_EQ(ClocksOf(Encode(kTjnz, kImm, 10, 2), 3), 4u);
  EXPECT_EQ(ClocksOf(Encode(kTjnz, kImm, 10, 2), 0), 8u);
  EXPECT_EQ(ClocksOf(Jmp(2)), 4u);
  EXPECT_EQ(ClocksOf(Encode(kMov, kWr | kImm, 10, 1, 0)), 4u);
  EXPECT_EQ(ClocksOf(Encode(kRdWrLong, kWr, 10, 11, 0)), 4u)
      << "a hub instruction that does not run";
}

TEST(Branches, DjnzCountsDownAndSetsCWhenPassingZero) {
  CogFixture fixture;
  std::vector<uint32_t> image = Image({
      Encode(kDjnz, kWr | kImm, 10, 0),  // loops on itself until register 10 is 0
      AddImm(11, 1),
      Encode(kDjnz, kWr | kImm | kWc | kWz, 12, 3),  // from 0: result -1 (C=1), so it jumps
      Jmp(3),
  });
  image[10] = 100;
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles + 500);
  const Cog& cog = fixture.chip.CogAt(0);
  EXPECT_EQ(cog.Register(10), 0u);
  EXPECT_EQ(cog.Register(11), 1u);
  EXPECT_EQ(cog.Register(12), 0xFFFFFFFFu);
  EXPECT_TRUE(cog.C());
  EXPECT_FALSE(cog.Z());
  EXPECT_EQ(cog.Pc(), 3u);
}

TEST(Calls, CallWritesTheReturnAddressIntoTheRetInstructionAndRetComesBack) {
  CogFixture fixture;
  // 0: call #5 (JMPRET 6, #5)  1: add 11,#1  2: jmp #2   5: add 10,#1  6: ret
  std::vector<uint32_t> image = Image({Encode(kJmpRet, kWr | kImm, 6, 5), AddImm(11, 1), Jmp(2),
                                       Nop(), Nop(), AddImm(10, 1), Jmp(0)});
  image[6] = 0x5C7C0000;  // ret
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(0, 10), 1u);
  EXPECT_EQ(fixture.Reg(0, 11), 1u);
  EXPECT_EQ(fixture.Reg(0, 6), 0x5C7C0001u) << "only S[8:0] of the RET was replaced";
  EXPECT_EQ(fixture.chip.CogAt(0).Pc(), 2u);
}

TEST(Calls, IndirectJumpUsesTheRegisterValueAndJmpretKeepsUpperBits) {
  CogFixture fixture;
  std::vector<uint32_t> image =
      Image({Encode(kJmpRet, 0, 0, 12), Nop(), Nop(), Nop(),
             Encode(kJmpRet, kWr | kImm | kWz | kWc, 13, 6), Nop(), Jmp(6)});
  image[12] = 0xFFFFFE04;  // only S[8:0] = 4 matters
  image[13] = 0xABCDE1FF;
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(0, 13), 0xABCDE005u);
  EXPECT_EQ(fixture.chip.CogAt(0).Pc(), 6u);
  EXPECT_FALSE(fixture.chip.CogAt(0).C()) << "D < S is false";
}

TEST(Pipeline, AnInstructionModifiedByItsPredecessorRunsInItsOldForm) {
  CogFixture fixture;
  std::vector<uint32_t> image = Image({
      Mov(1, 20),     // replaces instruction 1, which is already fetched
      MovImm(10, 5),  // runs as it was: 10 := 5
      Mov(4, 21),     // replaces instruction 4, one instruction ahead
      Nop(),
      MovImm(11, 5),  // runs in its new form: 11 := 7
      MovImm(12, 1),
      AddImm(12, 1),  // data written just before is seen: 12 = 2
      Jmp(7),
  });
  image[20] = MovImm(10, 6);
  image[21] = MovImm(11, 7);
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(0, 10), 5u);
  EXPECT_EQ(fixture.Reg(0, 1), MovImm(10, 6));
  EXPECT_EQ(fixture.Reg(0, 11), 7u);
  EXPECT_EQ(fixture.Reg(0, 12), 2u);
}

TEST(Pipeline, AJumpFetchesItsTargetBeforeItsOwnWrite) {
  CogFixture fixture;
  // jmpret 3,#3 writes the return address into register 3 and jumps there: the old word runs.
  std::vector<uint32_t> image =
      Image({Encode(kJmpRet, kWr | kImm, 3, 3), Nop(), Nop(), MovImm(10, 9), Jmp(4)});
  fixture.Start(0, image);
  fixture.RunFor(CogFixture::kLoadCycles);
  EXPECT_EQ(fixture.Reg(0, 10), 9u);
  EXPECT_EQ(fixture.Reg(0, 3), (MovImm(10, 9) & ~0x1FFu) | 1u);
}

}  // namespace
}  // namespace qkl::cog::testing
