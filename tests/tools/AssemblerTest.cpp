// Labels and their scopes, directives, data and the clock settings of a source.
#include <gtest/gtest.h>

#include "tests/tools/AssemblyHelpers.h"

namespace qkl::pasm::testing {
namespace {

using Longs = std::vector<std::uint32_t>;
using Texts = std::vector<std::string>;

TEST(Labels, LocalLabelsBelongToTheLastGlobalLabel) {
  Longs longs = cogLongs(
      "DAT org 0\n"
      "first  nop\n"
      ":loop  jmp #:loop\n"
      "second nop\n"
      ":loop  jmp #:loop\n"
      "       jmp #first\n");
  EXPECT_EQ(longs, (Longs{0, 0x5C7C0001, 0, 0x5C7C0003, 0x5C7C0000}));
}

TEST(Labels, ForwardReferencesAndCaseInsensitiveNames) {
  Longs longs = cogLongs("DAT org 0\n jmp #Later\n nop\nlater long LATER\n");
  EXPECT_EQ(longs, (Longs{0x5C7C0002, 0, 2}));
}

TEST(Labels, ALabelOnItsOwnLineNamesTheNextAddress) {
  EXPECT_EQ(cogLongs("DAT org 0\n nop\nhere\n long here\n"), (Longs{0, 1}));
}

TEST(Labels, Errors) {
  EXPECT_EQ(errorsOf("DAT\nx nop\nx nop\n"),
            Texts{"3:1: duplicate name 'x', first defined on line 2"});
  EXPECT_EQ(errorsOf("DAT\n:x nop\n"), Texts{"2:1: local label :x has no global label above it"});
  EXPECT_EQ(errorsOf("DAT\na nop\nb jmp #:x\n"), Texts{"3:8: undefined symbol ':x'"});
  EXPECT_EQ(errorsOf("CON k = 1\nDAT\nK nop\n"),
            Texts{"3:1: duplicate name 'K', first defined on line 1"});
  EXPECT_EQ(errorsOf("DAT\n  jmp #there\n"), Texts{"2:8: undefined symbol 'there'"});
}

TEST(Directives, ResReservesCogLongsWithoutHubBytes) {
  Assembly assembly = assemble("DAT org 0\n jmp #buf\n long buf2\nbuf res 4\nbuf2 res\n");
  EXPECT_TRUE(assembly.errors.empty());
  EXPECT_EQ(assembly.cogCode.size(), 8u);
  EXPECT_EQ(cogLongs("DAT org 0\n jmp #buf\n long buf2\nbuf res 4\nbuf2 res\n"),
            (Longs{0x5C7C0002, 6}));
}

TEST(Directives, OrgSetsTheCogAddressOfWhatFollows) {
  EXPECT_EQ(cogLongs("DAT org $10\na long a\n org\nb long b\n"), (Longs{0x10, 0}));
}

TEST(Directives, FitChecksTheEndOfTheCode) {
  EXPECT_TRUE(errorsOf("DAT org 0\n long 0[496]\n fit\n").empty());
  EXPECT_TRUE(errorsOf("DAT org 0\n long 0[4]\n fit 4\n").empty());
  EXPECT_EQ(errorsOf("DAT org 0\n long 0[5]\n fit 4\n"),
            Texts{"3:2: the code reaches $5, past the FIT limit $4"});
  EXPECT_EQ(errorsOf("DAT org 0\n long 0\n res 8\n fit 8\n"),
            Texts{"4:2: the code reaches $9, past the FIT limit $8"});
}

TEST(Directives, CodeMustStayInsideTheCog) {
  EXPECT_EQ(errorsOf("DAT org 0\n long 0[496]\n nop\n"),
            Texts{"3:2: past the end of the cog's 496 longs (this reaches $1F1)"});
  EXPECT_EQ(errorsOf("DAT org 490\n res 7\n"),
            Texts{"2:2: past the end of the cog's 496 longs (this reaches $1F1)"});
  EXPECT_EQ(errorsOf("DAT org 497\n"), Texts{"1:9: ORG 497 is out of 0..496"});
  EXPECT_EQ(errorsOf("DAT org 0\nx res 1\n nop\n"),
            Texts{"3:2: code or data after RES would not be loaded at its cog address; put RES at "
                  "the end, or "
                  "start a new ORG"});
}

TEST(Data, LongWordAndByteAreLittleEndianAndAligned) {
  Assembly assembly =
      assemble("DAT org 0\n byte 1, 2, \"AB\"\n word $1234\n byte 9\n long $11223344\n");
  ASSERT_TRUE(assembly.errors.empty());
  EXPECT_EQ(assembly.cogCode,
            (std::vector<std::uint8_t>{1, 2, 'A', 'B', 0x34, 0x12, 9, 0, 0x44, 0x33, 0x22, 0x11}));
}

TEST(Data, RepeatCountsAndNegativeValues) {
  EXPECT_EQ(cogLongs("CON n = 3\nDAT org 0\n long 7[n], -1\n byte -1[2], 255, 0\n"),
            (Longs{7, 7, 7, 0xFFFFFFFF, 0x00FFFFFF}));
}

TEST(Data, ValuesThatDoNotFit) {
  EXPECT_EQ(errorsOf("DAT byte 256\n"), Texts{"1:10: value 256 does not fit in a byte"});
  EXPECT_EQ(errorsOf("DAT byte -129\n"), Texts{"1:10: value -129 does not fit in a byte"});
  EXPECT_EQ(errorsOf("DAT word $1_0000\n"), Texts{"1:10: value 65536 does not fit in a word"});
  EXPECT_EQ(errorsOf("DAT long 1[later]\nlater long 0\n"),
            Texts{"1:12: 'later' is not defined above this line; constants, ORG, RES, FIT and "
                  "repeat counts need "
                  "values known where they stand"});
}

TEST(Operands, RangeAndShapeErrors) {
  EXPECT_EQ(errorsOf("DAT mov 1, #512\n"), Texts{"1:12: immediate #512 is out of 0..511"});
  EXPECT_EQ(errorsOf("DAT mov 1, #-1\n"), Texts{"1:12: immediate #-1 is out of 0..511"});
  EXPECT_EQ(errorsOf("DAT mov 512, 1\n"), Texts{"1:9: register address 512 is out of 0..511"});
  EXPECT_EQ(errorsOf("DAT mov #1, 2\n"), Texts{"1:9: the destination cannot be an immediate"});
  EXPECT_EQ(errorsOf("DAT mov 1\n"),
            Texts{"1:5: MOV takes 2 operands (destination, source), found 1 operand"});
  EXPECT_EQ(errorsOf("DAT jmp 1, 2\n"),
            Texts{"1:12: JMP takes 1 operand (the jump target), found 2 operands"});
  EXPECT_EQ(errorsOf("DAT ret 1\n"), Texts{"1:9: RET takes no operands, found 1 operand"});
  EXPECT_EQ(errorsOf("DAT cogid #1\n"), Texts{"1:11: the destination cannot be an immediate"});
  EXPECT_EQ(errorsOf("DAT if_z nop\n"), Texts{"1:10: NOP takes no condition"});
  EXPECT_EQ(errorsOf("DAT rdlong 1, 2 wr\n"),
            Texts{"1:17: RDLONG cannot take WR or NR: that bit tells a read from a write"});
  EXPECT_EQ(errorsOf("DAT mov 1, 2 wr, nr\n"), Texts{"1:18: WR and NR contradict each other"});
  EXPECT_EQ(errorsOf("DAT x call #y\ny nop\n"),
            Texts{"1:13: CALL #y needs the label y_ret on the routine's RET"});
  EXPECT_EQ(errorsOf("DAT call 5\n"),
            Texts{"1:10: CALL takes #label, where label_RET holds the routine's RET"});
}

TEST(Lines, MnemonicAndConstructErrors) {
  EXPECT_EQ(errorsOf("DAT\n  mvo 1, 2\n"), Texts{"2:3: unknown mnemonic 'mvo'"});
  EXPECT_EQ(errorsOf("DAT\nloop mvo 1, 2\n"), Texts{"2:6: unknown mnemonic 'mvo'"});
  EXPECT_EQ(errorsOf("DAT\n mul 1, 2\n"), Texts{"2:2: 'MUL' is not an instruction of this chip"});
  EXPECT_EQ(errorsOf("DAT\npar long 0\n"),
            Texts{"2:1: 'par' is a reserved word, neither a label nor an instruction"});
  EXPECT_EQ(errorsOf("DAT\n if_c\n"), Texts{"2:2: a condition needs an instruction after it"});
  EXPECT_EQ(errorsOf("DAT\n if_c long 1\n"),
            Texts{"2:2: a condition goes only before an instruction, not before LONG"});
  EXPECT_EQ(errorsOf("DAT\nmov nop\n"),
            Texts{"2:1: MOV takes 2 operands (destination, source), found 1 operand"});
  EXPECT_EQ(errorsOf("DAT\nk = 4\n"), Texts{"2:3: constants are defined in a CON block"});
  EXPECT_EQ(errorsOf("CON\n k 4\n"), Texts{"2:2: expected name = value in a CON block"});
  EXPECT_EQ(errorsOf("CON #0, a, b\n"),
            Texts{"1:5: enumerations (#) are not supported; write name = value"});
  EXPECT_EQ(errorsOf("CON mov = 1\n"), Texts{"1:5: 'mov' is a reserved word and cannot be a name"});
  EXPECT_EQ(errorsOf("PUB main\n  cognew(@x, 0)\nDAT x nop\n"),
            Texts{"1:1: PUB blocks are not supported: only CON and DAT are assembled, and the "
                  "method that starts "
                  "the cog is generated"});
  EXPECT_EQ(errorsOf("CON k = 1\n"),
            Texts{"0:0: no cog code: put instructions or data in a DAT block"});
}

TEST(Lines, EveryBadLineIsReportedOnce) {
  EXPECT_EQ(errorsOf("DAT\n mov 1, #600\n nop\n jmp #nowhere\n long 1[x]\n"),
            (Texts{"5:9: 'x' is not defined above this line; constants, ORG, RES, FIT and repeat "
                   "counts need values "
                   "known where they stand",
                   "2:9: immediate #600 is out of 0..511", "4:7: undefined symbol 'nowhere'"}));
}

TEST(Comments, QuoteAndNestedBraceCommentsAreSkipped) {
  EXPECT_EQ(cogLongs("DAT org 0 ' the code\n{ a { nested }\n block } long 1 { inline } ' rest\n{{ "
                     "doc }}\n long 2\n"),
            (Longs{1, 2}));
  EXPECT_EQ(errorsOf("DAT nop\n{ never closed\n"), Texts{"2:1: '{' comment is never closed"});
  EXPECT_EQ(errorsOf("DAT nop }\n"), Texts{"1:9: '}' without an open '{' comment"});
}

TEST(Clock, DefaultsToTheFastRcClockAndTakesTheSourcesSettings) {
  Assembly plain = assemble("DAT nop\n");
  EXPECT_EQ(plain.clkfreq, 12000000u);
  EXPECT_EQ(plain.clkmode, 0x00);
  Assembly set = assemble("CON\n _clkfreq = 80_000_000\n _CLKMODE = $6F\nDAT nop\n");
  EXPECT_EQ(set.clkfreq, 80000000u);
  EXPECT_EQ(set.clkmode, 0x6F);
  EXPECT_EQ(errorsOf("CON _clkmode = $100\nDAT nop\n"),
            Texts{"1:5: _clkmode 256 does not fit the 8-bit clock register"});
}

}  // namespace
}  // namespace qkl::pasm::testing
