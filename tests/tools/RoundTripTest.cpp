// Assembled programs booted on the emulated chip: the launcher starts the cog code, whose results
// are read back from hub RAM and the pins.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sim/cog/Chip.h"
#include "tests/tools/BootImage.h"
#include "tools/Assembler.h"
#include "tools/ProgramImage.h"

namespace {

using qkl::cog::Chip;

void boot(Chip& chip, const std::string& source) {
  qkl::pasm::Assembly assembly = qkl::pasm::assemble(source);
  ASSERT_TRUE(assembly.errors.empty()) << assembly.errors.front().message;
  std::vector<std::uint8_t> image =
      qkl::pasm::buildProgramImage(assembly.cogCode, {assembly.clkfreq, assembly.clkmode});
  qkl::pasm::testing::bootImage(chip, image);
}

std::uint32_t runAndRead(const std::string& source, std::uint32_t address,
                         std::uint64_t cycles = 40000) {
  Chip chip({});
  boot(chip, source);
  chip.Run(cycles);
  return chip.Memory().ReadLong(address);
}

TEST(RoundTrip, CallRetLoopsAndLocalLabels) {
  const char* source =
      "CON result = $7000\n"
      "DAT org 0\n"
      "entry   mov n, #10\n"
      ":loop   call #accumulate\n"
      "        djnz n, #:loop\n"
      "        wrlong sum, address\n"
      ":halt   jmp #:halt\n"
      "accumulate add sum, n\n"
      "accumulate_ret ret\n"
      "address long result\n"
      "sum     long 0\n"
      "n       res 1\n";
  EXPECT_EQ(runAndRead(source, 0x7000), 55u);
}

TEST(RoundTrip, ConditionsAndEffectsSteerTheFlags) {
  const char* source =
      "DAT org 0\n"
      "entry   mov x, #5\n"
      "        cmp x, #7 wc, wz\n"  // C = 1 (5 < 7), Z = 0
      "  if_c_and_nz or bits, #1\n"
      "  if_z        or bits, #2\n"
      "        cmp x, #5 wz\n"  // Z = 1, C kept
      "  if_z_and_c  or bits, #4\n"
      "        sub x, #5 nr, wz\n"  // x kept; Z = 1
      "  if_z        or bits, #8\n"
      "        shl x, #30 wc\n"  // C = old bit 31 = 0
      "  if_nc       or bits, #16\n"
      "        wrlong x, address\n"
      "        add address, #4\n"
      "        wrlong bits, address\n"
      ":halt   jmp #:halt\n"
      "address long $7000\n"
      "bits    long 0\n"
      "x       res 1\n";
  Chip chip({});
  boot(chip, source);
  chip.Run(40000);
  EXPECT_EQ(chip.Memory().ReadLong(0x7000), 5u << 30);
  EXPECT_EQ(chip.Memory().ReadLong(0x7004), 1u | 4 | 8 | 16);
}

TEST(RoundTrip, DataTablesAndSelfModifyingCode) {
  const char* source =
      "DAT org 0\n"
      "entry   movs :read, #table\n"
      "        mov count, #4\n"
      ":read   mov value, 0-0\n"
      "        add total, value\n"
      "        add :read, #1\n"
      "        djnz count, #:read\n"
      "        wrlong total, address\n"
      ":halt   jmp #:halt\n"
      "table   long 1, 20, 300, 4000\n"
      "address long $7000\n"
      "total   long 0\n"
      "count   res 1\n"
      "value   res 1\n";
  EXPECT_EQ(runAndRead(source, 0x7000), 4321u);
}

TEST(RoundTrip, ClksetTwoStopsTheClock) {
  Chip chip({});
  boot(chip, "DAT org 0\nentry mov x, #2\n clkset x\n jmp #entry\nx res 1\n");
  EXPECT_EQ(chip.Run(40000), qkl::cog::RunStop::kClockStopped);
}

TEST(RoundTrip, TheExampleBlinksAndCountsInHubRam) {
  std::ifstream in(QKL_EXAMPLE_SOURCE);
  std::ostringstream source;
  source << in.rdbuf();
  Chip chip({});
  boot(chip, source.str());
  const std::uint64_t quarterSecond = 3'000'000;
  chip.Run(quarterSecond / 2, 0);
  std::uint32_t level = chip.PinLevels() >> 16 & 1;
  std::uint32_t count = chip.Memory().ReadLong(0x7000);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(chip.ChipDirections() >> 16 & 1, 1u);
  chip.Run(chip.Cycle() + quarterSecond, 0);
  EXPECT_EQ(chip.Memory().ReadLong(0x7000), count + 1);
  EXPECT_NE(chip.PinLevels() >> 16 & 1, level);
}

}  // namespace
