// Constant expressions: number forms, operators and how tightly they bind.
#include <gtest/gtest.h>

#include <utility>

#include "tests/tools/AssemblyHelpers.h"

namespace qkl::pasm::testing {
namespace {

std::uint32_t valueOf(const std::string& expression) { return encode("long " + expression); }

TEST(Expression, NumbersInEveryBaseWithUnderscores) {
  EXPECT_EQ(valueOf("12_000_000"), 12000000u);
  EXPECT_EQ(valueOf("$FFFF_FFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(valueOf("$7f"), 0x7Fu);
  EXPECT_EQ(valueOf("%1010_0101"), 0xA5u);
  EXPECT_EQ(valueOf("4294967295"), 0xFFFFFFFFu);
}

TEST(Expression, OperatorsComputeIn32Bits) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"7 + 5", 12},           {"7 - 9", 0xFFFFFFFE},  {"6 * 7", 42},
      {"-7 / 2", 0xFFFFFFFD},  {"7 // 3", 1},          {"-7 // 3", 0xFFFFFFFF},
      {"1 << 31", 0x80000000}, {"$80000000 >> 31", 1}, {"$F0 & $3C", 0x30},
      {"$F0 | $0F", 0xFF},     {"$FF ^ $0F", 0xF0},    {"~0", 0xFFFFFFFF},
      {"!1", 0xFFFFFFFE},      {"-(3)", 0xFFFFFFFD},   {"+4", 4},
      {"$FFFF_FFFF + 2", 1},   {"1 << 33", 2},
  };
  for (const auto& [expression, value] : cases) EXPECT_EQ(valueOf(expression), value) << expression;
}

TEST(Expression, OperatorsBindAsOnThisChipsAssembler) {
  // Tightest first: unary; << >>; &; | ^; * / //; + -.
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"1 + 2 << 3", 17},   {"2 * 3 & 1", 2},  {"1 | 2 * 4", 12},  {"6 ^ 3 + 1", 6},
      {"12 - 4 - 2", 6},    {"64 / 4 / 2", 8}, {"-1 >> 28", 15},   {"~1 & 3", 2},
      {"(1 + 2) << 3", 24}, {"2 + 3 * 4", 14}, {"1 << 2 << 1", 8}, {"$F0 | $0F & $3", 0xF3},
  };
  for (const auto& [expression, value] : cases) EXPECT_EQ(valueOf(expression), value) << expression;
}

TEST(Expression, DollarIsTheCogAddressOfItsLine) {
  std::vector<std::uint32_t> longs =
      cogLongs("DAT org 5\n long $\n long $ + 1\n org $100\n long $\n");
  EXPECT_EQ(longs, (std::vector<std::uint32_t>{5, 7, 0x100}));
}

TEST(Expression, ErrorsPointAtTheFault) {
  EXPECT_EQ(errorsOf("DAT long 1 / 0\n"), std::vector<std::string>{"1:12: division by zero"});
  EXPECT_EQ(errorsOf("DAT long (1 + 2\n"), std::vector<std::string>{"1:10: '(' without its ')'"});
  EXPECT_EQ(errorsOf("DAT long 1 +\n"), std::vector<std::string>{"1:13: expected a value"});
  EXPECT_EQ(errorsOf("DAT long 1 2\n"), std::vector<std::string>{"1:12: unexpected '2'"});
  EXPECT_EQ(errorsOf("DAT long $1_0000_0000\n"),
            std::vector<std::string>{"1:10: number does not fit in 32 bits"});
  EXPECT_EQ(errorsOf("DAT long %102\n"),
            std::vector<std::string>{"1:13: '2' is not a digit of this number"});
  EXPECT_EQ(errorsOf("DAT long 1 ? 2\n"),
            std::vector<std::string>{"1:12: unexpected character '?'"});
  EXPECT_EQ(errorsOf("DAT long nowhere\n"),
            std::vector<std::string>{"1:10: undefined symbol 'nowhere'"});
  EXPECT_EQ(errorsOf("DAT long " + std::string(300, '(') + "1" + std::string(300, ')') + "\n"),
            std::vector<std::string>{"1:266: expression nested too deeply"});
  EXPECT_EQ(valueOf(std::string(200, '(') + "1" + std::string(200, ')')), 1u);
}

}  // namespace
}  // namespace qkl::pasm::testing
