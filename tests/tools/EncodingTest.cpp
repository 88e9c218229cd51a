// Instruction words checked against published encodings of the chip's instruction set.
#include <gtest/gtest.h>

#include <utility>

#include "tests/tools/AssemblyHelpers.h"
#include "tools/Token.h"

namespace qkl::pasm::testing {
namespace {

TEST(Encoding, MatchesPublishedInstructionWords) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"nop", 0x00000000},
      {"jmp #5", 0x5C7C0005},
      {"ret", 0x5C7C0000},
      {"jmp $020", 0x5C3C0020},
      {"mov dira,#1", 0xA0FFEC01},
      {"mov $010,cnt", 0xA0BC21F1},
      {"add $010,#9", 0x80FC2009},
      {"waitcnt $010,#0", 0xF8FC2000},
      {"djnz $011,#4", 0xE4FC2204},
      {"test $012,ina wz", 0x623C25F2},
      {"cmp $012,#10 wc", 0x857C240A},
      {"cmpsub 1,2", 0xE0BC0202},
      {"cmp 1,2 wr", 0x84BC0202},
      {"rdlong $013,par", 0x08BC27F0},
      {"wrlong $013,par", 0x083C27F0},
      {"rdbyte $013,$014", 0x00BC2614},
      {"if_c muxc outa,$016", 0x70B3E816},
      {"muxnz outa,#$100", 0x7CFFE900},
      {"shr $017,#1 wc", 0x29FC2E01},
      {"if_never mov 0,0", 0xA0800000},
      {"cmps 1,2 wc,wz", 0xC33C0202},
      {"cmpsx 1,2 wc", 0xC53C0202},
      {"cmpx 1,2 wc", 0xCD3C0202},
      {"tjz 1,#2", 0xEC7C0202},
      {"tjnz 1,#2", 0xE87C0202},
      {"waitpeq 1,2", 0xF03C0202},
      {"waitpne 1,2", 0xF43C0202},
      {"movs 1,#2", 0x50FC0202},
      {"movd 1,#2", 0x54FC0202},
      {"movi 1,#2", 0x58FC0202},
      {"mov 1,2 nr", 0xA03C0202},
      {"clkset $015", 0x0C7C2A00},
      {"cogid $015", 0x0CFC2A01},
      {"coginit $015", 0x0C7C2A02},
      {"cogstop $015", 0x0C7C2A03},
      {"locknew $015", 0x0CFC2A04},
      {"lockret $015", 0x0C7C2A05},
      {"lockset $015", 0x0C7C2A06},
      {"lockclr $015", 0x0C7C2A07},
  };
  for (const auto& [line, word] : cases) EXPECT_EQ(encode(line), word) << line;
}

TEST(Encoding, CallPointsItsReturnAddressAtTheRoutinesRet) {
  std::vector<std::uint32_t> longs = cogLongs(
      "DAT org $015\n"
      "subr     nop\n"
      "subr_ret ret\n"
      "         call #subr\n");
  ASSERT_EQ(longs.size(), 3u);
  EXPECT_EQ(longs[2], 0x5CFC2C15u);
  EXPECT_EQ(longs[1], 0x5C7C0000u);
}

TEST(Encoding, CallFindsTheReturnLabelWhateverItsCase) {
  EXPECT_EQ(cogLongs("DAT org 0\n call #Blink\nblink nop\nBLINK_RET ret\n")[0], 0x5CFC0401u);
}

TEST(Encoding, JmpretWritesTheReturnAddressIntoItsDestination) {
  EXPECT_EQ(encode("jmpret $016, #$015"), 0x5CFC2C15u);
  EXPECT_EQ(encode("jmpret $016, $015"), 0x5CBC2C15u);
}

TEST(Encoding, EveryConditionNameSetsItsField) {
  const std::pair<const char*, std::uint32_t> conditions[] = {
      {"if_never", 0x0},    {"if_nc_and_nz", 0x1}, {"if_nz_and_nc", 0x1}, {"if_a", 0x1},
      {"if_nc_and_z", 0x2}, {"if_z_and_nc", 0x2},  {"if_nc", 0x3},        {"if_ae", 0x3},
      {"if_c_and_nz", 0x4}, {"if_nz_and_c", 0x4},  {"if_nz", 0x5},        {"if_ne", 0x5},
      {"if_c_ne_z", 0x6},   {"if_z_ne_c", 0x6},    {"if_nc_or_nz", 0x7},  {"if_nz_or_nc", 0x7},
      {"if_c_and_z", 0x8},  {"if_z_and_c", 0x8},   {"if_c_eq_z", 0x9},    {"if_z_eq_c", 0x9},
      {"if_z", 0xA},        {"if_e", 0xA},         {"if_nc_or_z", 0xB},   {"if_z_or_nc", 0xB},
      {"if_c", 0xC},        {"if_b", 0xC},         {"if_c_or_nz", 0xD},   {"if_nz_or_c", 0xD},
      {"if_c_or_z", 0xE},   {"if_z_or_c", 0xE},    {"if_be", 0xE},        {"if_always", 0xF},
  };
  for (const auto& [name, field] : conditions) {
    EXPECT_EQ(encode(std::string(name) + " mov 1,2"), 0xA0800202u | field << 18) << name;
    EXPECT_EQ(encode(std::string(name) + " mov 1,2"), encode(folded(name) + " MOV 1,2")) << name;
  }
}

TEST(Encoding, EffectsSetAndClearTheirBits) {
  EXPECT_EQ(encode("mov 1,2 wz"), 0xA2BC0202u);
  EXPECT_EQ(encode("mov 1,2 wc"), 0xA1BC0202u);
  EXPECT_EQ(encode("mov 1,2 wz, wc, nr"), 0xA33C0202u);
  EXPECT_EQ(encode("mov 1,2 wc wz"), 0xA3BC0202u);
  EXPECT_EQ(encode("test 1,2 wr"), 0x60BC0202u);
  EXPECT_EQ(encode("cmp 1,2 wr, wr"), 0x84BC0202u);
  EXPECT_EQ(encode("if_z_and_c jmp #0 wc"), 0x5D600000u);
}

TEST(Encoding, OperandsMayBeRegisterNamesLabelsAndExpressions) {
  std::vector<std::uint32_t> longs = cogLongs(
      "CON pin = 3\n"
      "DAT org 0\n"
      "start mov mask, #1 << pin\n"
      "      or outa, mask\n"
      "      jmp #$\n"
      "mask  long 0\n");
  ASSERT_EQ(longs.size(), 4u);
  EXPECT_EQ(longs[0], 0xA0FC0608u);
  EXPECT_EQ(longs[1], 0x68BFE803u);
  EXPECT_EQ(longs[2], 0x5C7C0002u);
}

TEST(Encoding, SpecialRegistersHaveTheirAddresses) {
  const char* names[] = {"par",  "cnt",  "ina",  "inb",  "outa", "outb", "dira", "dirb",
                         "ctra", "ctrb", "frqa", "frqb", "phsa", "phsb", "vcfg", "vscl"};
  for (std::uint32_t i = 0; i < 16; ++i) {
    EXPECT_EQ(encode(std::string("mov ") + names[i] + ", " + names[i]),
              0xA0BC0000u | (0x1F0 + i) << 9 | (0x1F0 + i))
        << names[i];
  }
}

}  // namespace
}  // namespace qkl::pasm::testing
