// Results and flags of the register instructions at their edge values, as published in the
// instruction tables (expected values worked out by hand from those tables).
#include <gtest/gtest.h>

#include <string>

#include "tests/cog/CogTesting.h"

namespace qkl::cog::testing {
namespace {

constexpr uint32_t kD = 10;
constexpr uint32_t kS = 11;
constexpr uint32_t kFlagsScratch = 20;
constexpr uint32_t kCSource = 21;
constexpr uint32_t kZSource = 22;

struct Case {
  const char* name;
  uint32_t opcode;
  uint32_t zcri;  // R and I as the mnemonic has them; WC and WZ are added
  uint32_t d;
  uint32_t s;  // a register value, or the immediate when I is set
  bool c;
  bool z;
  uint32_t result;
  bool cOut;
  bool zOut;
};

struct Outcome {
  uint32_t d;
  bool c;
  bool z;
};

// Sets C and Z with two MOVs, runs the instruction, and parks the cog.
Outcome RunOne(const Case& test) {
  CogFixture fixture;
  std::vector<uint32_t> image = Image({
      Mov(kFlagsScratch, kCSource, kWc),
      Mov(kFlagsScratch, kZSource, kWz),
      Encode(test.opcode, test.zcri | kWc | kWz, kD, (test.zcri & kImm) ? test.s : kS),
      Jmp(3),
  });
  image[kD] = test.d;
  image[kS] = test.s;
  image[kCSource] = test.c ? 0x80000000 : 0;
  image[kZSource] = test.z ? 0 : 1;
  fixture.Start(1, image);
  fixture.RunFor(CogFixture::kLoadCycles);
  const Cog& cog = fixture.chip.CogAt(1);
  EXPECT_EQ(cog.Pc(), 3u) << test.name;
  return {cog.Register(kD), cog.C(), cog.Z()};
}

void Check(const std::vector<Case>& cases) {
  for (const Case& test : cases) {
    const Outcome outcome = RunOne(test);
    EXPECT_EQ(outcome.d, test.result) << test.name;
    EXPECT_EQ(outcome.c, test.cOut) << test.name << " C";
    EXPECT_EQ(outcome.z, test.zOut) << test.name << " Z";
  }
}

constexpr uint32_t R = kWr;
constexpr uint32_t RI = kWr | kImm;
constexpr uint32_t kOnes = 0xFFFFFFFF;
constexpr uint32_t kMaxInt = 0x7FFFFFFF;
constexpr uint32_t kMinInt = 0x80000000;

TEST(Alu, ShiftsAndRotatesTakeCFromTheOriginalD) {
  Check({
      {"ror 1,#1", kRor, RI, 1, 1, false, false, kMinInt, true, false},
      {"ror $80000000,#31", kRor, RI, kMinInt, 31, false, false, 1, false, false},
      {"ror -1,#0", kRor, RI, kOnes, 0, false, false, kOnes, true, false},
      {"rol $80000000,#1", kRol, RI, kMinInt, 1, false, false, 1, true, false},
      {"rol 1,#31", kRol, RI, 1, 31, false, false, kMinInt, false, false},
      {"shr -1,#31", kShr, RI, kOnes, 31, false, false, 1, true, false},
      {"shr $80000000,#0", kShr, RI, kMinInt, 0, false, false, kMinInt, false, false},
      {"shr 1,#1", kShr, RI, 1, 1, false, false, 0, true, true},
      {"shl -1,#31", kShl, RI, kOnes, 31, false, false, kMinInt, true, false},
      {"shl $80000000,#1", kShl, RI, kMinInt, 1, false, false, 0, true, true},
      {"shl 1,#0", kShl, RI, 1, 0, false, false, 1, false, false},
      {"shl count uses S[4:0]", kShl, R, 1, 33, false, false, 2, false, false},
      {"rcr 0,#31 c", kRcr, RI, 0, 31, true, false, 0xFFFFFFFE, false, false},
      {"rcr $80000000,#0 c", kRcr, RI, kMinInt, 0, true, false, kMinInt, false, false},
      {"rcr 1,#1 nc", kRcr, RI, 1, 1, false, false, 0, true, true},
      {"rcl 0,#31 c", kRcl, RI, 0, 31, true, false, kMaxInt, false, false},
      {"rcl $7FFFFFFF,#1 c", kRcl, RI, kMaxInt, 1, true, false, kOnes, false, false},
      {"sar $80000000,#31", kSar, RI, kMinInt, 31, false, false, kOnes, false, false},
      {"sar $7FFFFFFF,#31", kSar, RI, kMaxInt, 31, false, false, 0, true, true},
      {"sar -1,#0", kSar, RI, kOnes, 0, false, false, kOnes, true, false},
      {"rev 1,#0", kRev, RI, 1, 0, false, false, kMinInt, true, false},
      {"rev 1,#31", kRev, RI, 1, 31, false, false, 1, true, false},
      {"rev $80000000,#31", kRev, RI, kMinInt, 31, false, false, 0, false, true},
      {"rev $0000000B,#28", kRev, RI, 0xB, 28, false, false, 0xD, true, false},
  });
}

TEST(Alu, LogicSetsCToTheParityOfTheResult) {
  Check({
      {"and -1,$80000000", kAnd, R, kOnes, kMinInt, false, false, kMinInt, true, false},
      {"and $7FFFFFFF,$80000000", kAnd, R, kMaxInt, kMinInt, true, false, 0, false, true},
      {"test $7FFFFFFF,$7FFFFFFF", kAnd, 0, kMaxInt, kMaxInt, false, true, kMaxInt, true, false},
      {"andn -1,1", kAndN, R, kOnes, 1, false, false, 0xFFFFFFFE, true, false},
      {"or $80000000,1", kOr, R, kMinInt, 1, false, false, 0x80000001, false, false},
      {"xor -1,$7FFFFFFF", kXor, R, kOnes, kMaxInt, false, false, kMinInt, true, false},
      {"xor x,x", kXor, R, 0x12345678, 0x12345678, false, false, 0, false, true},
      {"muxc 0,-1 c", kMuxC, R, 0, kOnes, true, false, kOnes, false, false},
      {"muxc -1,$80000000 nc", kMuxC, R, kOnes, kMinInt, false, false, kMaxInt, true, false},
      {"muxnc 0,1 nc", kMuxNC, R, 0, 1, false, false, 1, true, false},
      {"muxz 0,$80000000 z", kMuxZ, R, 0, kMinInt, false, true, kMinInt, true, false},
      {"muxnz -1,-1 z", kMuxNZ, R, kOnes, kOnes, false, true, 0, false, true},
  });
}

TEST(Alu, AdditionAndSubtraction) {
  Check({
      {"add -1,1", kAdd, R, kOnes, 1, false, false, 0, true, true},
      {"add -1,#1", kAdd, RI, kOnes, 1, false, false, 0, true, true},
      {"add $7FFFFFFF,1", kAdd, R, kMaxInt, 1, false, false, kMinInt, false, false},
      {"add $80000000,$80000000", kAdd, R, kMinInt, kMinInt, false, false, 0, true, true},
      {"sub 0,1", kSub, R, 0, 1, false, false, kOnes, true, false},
      {"sub $80000000,1", kSub, R, kMinInt, 1, false, false, kMaxInt, false, false},
      {"sub 1,1", kSub, R, 1, 1, true, false, 0, false, true},
      {"cmp 1,-1", kSub, 0, 1, kOnes, false, false, 1, true, false},
      {"cmp $80000000,$80000000", kSub, 0, kMinInt, kMinInt, true, false, kMinInt, false, true},
      {"addabs -3,-3", kAddAbs, R, 0xFFFFFFFD, 0xFFFFFFFD, false, false, 0, false, true},
      {"addabs -3,-1", kAddAbs, R, 0xFFFFFFFD, kOnes, false, false, 0xFFFFFFFE, true, false},
      {"addabs -1,1", kAddAbs, R, kOnes, 1, false, false, 0, true, true},
      {"addabs 0,$80000000", kAddAbs, R, 0, kMinInt, false, false, kMinInt, true, false},
      {"subabs 1,-1", kSubAbs, R, 1, kOnes, false, false, 0, true, true},
      {"subabs 3,3", kSubAbs, R, 3, 3, false, false, 0, false, true},
      {"subabs 0,1", kSubAbs, R, 0, 1, false, false, kOnes, true, false},
      {"subabs $7FFFFFFF,$80000000", kSubAbs, R, kMaxInt, kMinInt, false, false, kOnes, false,
       false},
      {"sumc $7FFFFFFF,1 nc", kSumC, R, kMaxInt, 1, false, false, kMinInt, true, false},
      {"sumc $80000000,1 c", kSumC, R, kMinInt, 1, true, false, kMaxInt, true, false},
      {"sumc 1,1 c", kSumC, R, 1, 1, true, false, 0, false, true},
      {"sumnc $80000000,1 nc", kSumNC, R, kMinInt, 1, false, false, kMaxInt, true, false},
      {"sumz 0,$80000000 z", kSumZ, R, 0, kMinInt, false, true, kMinInt, true, false},
      {"sumnz -1,$7FFFFFFF nz", kSumNZ, R, kOnes, kMaxInt, false, false, kMinInt, false, false},
      {"adds $7FFFFFFF,1", kAdds, R, kMaxInt, 1, false, false, kMinInt, true, false},
      {"adds -1,1", kAdds, R, kOnes, 1, false, false, 0, false, true},
      {"subs $80000000,1", kSubs, R, kMinInt, 1, false, false, kMaxInt, true, false},
      {"subs 0,$80000000", kSubs, R, 0, kMinInt, false, false, kMinInt, true, false},
  });
}

TEST(Alu, ExtendedFormsChainCarryAndZero) {
  Check({
      {"addx -1,0 c z", kAddx, R, kOnes, 0, true, true, 0, true, true},
      {"addx -1,0 c nz", kAddx, R, kOnes, 0, true, false, 0, true, false},
      {"subx 0,0 c z", kSubx, R, 0, 0, true, true, kOnes, true, false},
      {"subx 1,0 c z", kSubx, R, 1, 0, true, true, 0, false, true},
      {"cmpx $80000000,$7FFFFFFF c z", kSubx, 0, kMinInt, kMaxInt, true, true, kMinInt, false,
       true},
      {"cmpsx $80000000,$7FFFFFFF c z", kCmpsx, 0, kMinInt, kMaxInt, true, true, kMinInt, true,
       true},
      {"cmpsx 0,0 c z", kCmpsx, 0, 0, 0, true, true, 0, true, false},
      {"addsx $7FFFFFFF,0 c z", kAddsx, R, kMaxInt, 0, true, true, kMinInt, true, false},
      {"subsx $80000000,0 c", kSubsx, R, kMinInt, 0, true, false, kMaxInt, true, false},
      {"cmps $80000000,1", kCmps, 0, kMinInt, 1, false, false, kMinInt, true, false},
      {"cmps $7FFFFFFF,-1", kCmps, 0, kMaxInt, kOnes, true, false, kMaxInt, false, false},
      {"cmps -1,-1", kCmps, 0, kOnes, kOnes, false, false, kOnes, false, true},
  });
}

TEST(Alu, MovesAndNegations) {
  Check({
      {"mov x,$80000000", kMov, R, 5, kMinInt, false, false, kMinInt, true, false},
      {"mov x,0", kMov, R, 5, 0, true, false, 0, false, true},
      {"neg x,1", kNeg, R, 0, 1, false, false, kOnes, false, false},
      {"neg x,$80000000", kNeg, R, 0, kMinInt, false, false, kMinInt, true, false},
      {"neg x,-1", kNeg, R, 0, kOnes, false, false, 1, true, false},
      {"abs x,$80000000", kAbs, R, 0, kMinInt, false, false, kMinInt, true, false},
      {"abs x,-1", kAbs, R, 0, kOnes, false, false, 1, true, false},
      {"abs x,$7FFFFFFF", kAbs, R, 0, kMaxInt, false, false, kMaxInt, false, false},
      {"absneg x,1", kAbsNeg, R, 0, 1, false, false, kOnes, false, false},
      {"absneg x,-1", kAbsNeg, R, 0, kOnes, false, false, kOnes, true, false},
      {"absneg x,0", kAbsNeg, R, 7, 0, false, false, 0, false, true},
      {"negc x,1 c", kNegC, R, 0, 1, true, false, kOnes, false, false},
      {"negc x,1 nc", kNegC, R, 0, 1, false, false, 1, false, false},
      {"negnc x,$7FFFFFFF nc", kNegNC, R, 0, kMaxInt, false, false, 0x80000001, false, false},
      {"negz x,-1 z", kNegZ, R, 0, kOnes, false, true, 1, true, false},
      {"negnz x,5 z", kNegNZ, R, 0, 5, false, true, 5, false, false},
      {"movs -1,#0", kMovs, RI, kOnes, 0, false, false, 0xFFFFFE00, false, false},
      {"movd 0,#$1FF", kMovd, RI, 0, 0x1FF, false, false, 0x0003FE00, true, false},
      {"movi -1,#0", kMovi, RI, kOnes, 0, false, false, 0x007FFFFF, false, false},
      {"movi 0,#$1FF", kMovi, RI, 0, 0x1FF, false, false, 0xFF800000, true, false},
  });
}

TEST(Alu, LimitsWriteOnlyWhenTheComparisonSaysSoAndSetZFromS) {
  Check({
      {"mins $80000000,1", kMins, R, kMinInt, 1, false, false, 1, true, false},
      {"mins 5,-1", kMins, R, 5, kOnes, false, false, 5, false, false},
      {"maxs $7FFFFFFF,-1", kMaxs, R, kMaxInt, kOnes, false, false, kOnes, false, false},
      {"maxs -1,0", kMaxs, R, kOnes, 0, false, false, kOnes, true, true},
      {"min 0,0", kMin, R, 0, 0, false, false, 0, false, true},
      {"min 1,-1", kMin, R, 1, kOnes, false, false, kOnes, true, false},
      {"max -1,$80000000", kMax, R, kOnes, kMinInt, false, false, kMinInt, false, false},
      {"max 0,1", kMax, R, 0, 1, false, false, 0, true, false},
      {"cmpsub 5,5", kCmpSub, R, 5, 5, false, false, 0, true, true},
      {"cmpsub 4,5", kCmpSub, R, 4, 5, true, true, 4, false, false},
      {"cmpsub -1,$80000000", kCmpSub, R, kOnes, kMinInt, false, false, kMaxInt, true, false},
  });
}

TEST(Alu, WithoutWrTheResultIsNotWrittenButFlagsAre) {
  Check({
      {"add -1,1 nr", kAdd, 0, kOnes, 1, false, false, kOnes, true, true},
      {"shl $80000000,#1 nr", kShl, kImm, kMinInt, 1, false, false, kMinInt, true, true},
  });
}

}  // namespace
}  // namespace qkl::cog::testing
