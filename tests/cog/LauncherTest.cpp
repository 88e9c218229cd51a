// The top-level method of an image run natively (no ROM), and the same image handed to the
// chip's own interpreter when the ROM is there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/cog/EmulationError.h"
#include "tests/cog/CogTesting.h"
#include "tests/support/RomFolder.h"

namespace qkl::cog::testing {
namespace {

using ::testing::HasSubstr;

// The smallest image that starts a cog: `cognew(@entry, 0)` and `entry jmp #entry`, as the
// compiler lays it out, with the zero fill and the two stack-frame longs of a serial load.
std::vector<uint8_t> MinimalImage() {
  return {0x00, 0x1B, 0xB7, 0x00, 0x00, 0x06, 0x10, 0x00, 0x24, 0x00, 0x2C, 0x00, 0x1C, 0x00, 0x30,
          0x00, 0x14, 0x00, 0x02, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7C, 0x5C, 0x34, 0xC7,
          0x08, 0x35, 0x2C, 0x32, 0x00, 0x00, 0xFF, 0xFF, 0xF9, 0xFF, 0xFF, 0xFF, 0xF9, 0xFF};
}

void Load(Chip& chip, const std::vector<uint8_t>& image) {
  std::fill(chip.Memory().Ram().begin(), chip.Memory().Ram().end(), 0);
  std::copy(image.begin(), image.end(), chip.Memory().Ram().begin());
}

void ExpectEntryRunsInCog1(Chip& chip) {
  const Cog& started = chip.CogAt(1);
  ASSERT_TRUE(started.Active());
  EXPECT_EQ(started.Register(0), 0x5C7C0000u);
  EXPECT_EQ(started.Pc(), 0u);
  EXPECT_EQ(started.Par(), 0u);
  EXPECT_FALSE(chip.CogAt(0).Active()) << "cog 0 stops after the top method returns";
}

TEST(Launcher, StartsTheCogProgramAndStopsCogZero) {
  Chip chip({});
  Load(chip, MinimalImage());
  chip.LaunchImage();
  EXPECT_EQ(chip.Run(40000), RunStop::kReachedCycle);
  ExpectEntryRunsInCog1(chip);
}

TEST(Launcher, PushesLiteralConstantsAndTheResultOfCogInit) {
  std::vector<uint8_t> image = MinimalImage();
  // 34 C7 08 39 01 40 28 32: PAR = $0140, and the id is pushed before the return.
  const std::vector<uint8_t> code = {0x34, 0xC7, 0x08, 0x39, 0x01, 0x40, 0x28, 0x32};
  std::copy(code.begin(), code.end(), image.begin() + 0x1C);
  image.resize(0x24, 0);
  Chip chip({});
  Load(chip, image);
  chip.Memory().WriteLong(0x2C, 0xFFF9FFFF);  // dbase moved past the longer method
  chip.Memory().WriteLong(0x30, 0xFFF9FFFF);
  chip.Memory().WriteWord(0x0A, 0x34);
  chip.LaunchImage();
  chip.Run(40000);
  EXPECT_EQ(chip.CogAt(1).Par(), 0x0140u);
}

TEST(Launcher, AppliesTheImageClockModeAndShutsDownWithoutTheUsualPbase) {
  std::vector<uint8_t> image = MinimalImage();
  image[4] = 0x01;
  Chip chip({});
  Load(chip, image);
  chip.LaunchImage();
  EXPECT_EQ(chip.FrequencyHz(), 20e3);
  image[6] = 0x14;
  Chip other({});
  Load(other, image);
  other.LaunchImage();
  EXPECT_TRUE(other.ClockStopped());
}

std::string LaunchError(const std::vector<uint8_t>& image) {
  Chip chip({});
  Load(chip, image);
  chip.LaunchImage();
  try {
    chip.Run(40000);
  } catch (const EmulationError& error) {
    return error.what();
  }
  return "no error";
}

TEST(Launcher, RefusesOtherBytecodesNamingTheByteAndItsAddress) {
  std::vector<uint8_t> image = MinimalImage();
  image[0x1F] = 0x3F;
  EXPECT_THAT(LaunchError(image),
              HasSubstr("Spin bytecode $3F at $001F is not run without the ROM"));
  image = MinimalImage();
  image[0x1C] = 0x2C;
  EXPECT_THAT(LaunchError(image), HasSubstr("pops an empty stack"));
  image = MinimalImage();
  image[0x2A] = 0x00;  // the return address of the fake caller frame
  EXPECT_THAT(LaunchError(image), HasSubstr("returns to $FF00"));
}

TEST(Launcher, TheRomInterpreterRunsTheSameImage) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty())
    GTEST_SKIP() << why << "; the ROM interpreter is not tried";
  const std::filesystem::path rom = simtest::RomFolder();
  Chip chip({.clock = {}, .romDirectory = rom});
  Load(chip, MinimalImage());
  chip.LaunchImage();
  EXPECT_EQ(chip.Run(200000), RunStop::kReachedCycle);
  ExpectEntryRunsInCog1(chip);
}

}  // namespace
}  // namespace qkl::cog::testing
