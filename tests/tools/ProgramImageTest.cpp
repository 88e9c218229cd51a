// The program image around the cog code: header, object, launcher bytecode and checksum.
#include <gtest/gtest.h>

#include "tools/Assembler.h"
#include "tools/ProgramImage.h"

namespace qkl::pasm {
namespace {

std::vector<std::uint8_t> imageOf(const std::string& source) {
  Assembly assembly = assemble(source);
  EXPECT_TRUE(assembly.errors.empty());
  return buildProgramImage(assembly.cogCode, {assembly.clkfreq, assembly.clkmode});
}

unsigned word(const std::vector<std::uint8_t>& image, std::size_t offset) {
  return image[offset] | image[offset + 1] << 8;
}

// Bytes below dbase once the loader has added the zero variable area and the two stack markers.
unsigned loadedByteSum(const std::vector<std::uint8_t>& image) {
  unsigned dbase = word(image, 10);
  std::vector<std::uint8_t> memory(dbase, 0);
  std::copy(image.begin(), image.end(), memory.begin());
  for (unsigned marker : {dbase - 8, dbase - 4}) {
    memory[marker] = 0xFF, memory[marker + 1] = 0xFF, memory[marker + 2] = 0xF9,
    memory[marker + 3] = 0xFF;
  }
  unsigned sum = 0;
  for (std::uint8_t byte : memory) sum += byte;
  return sum % 256;
}

TEST(ProgramImage, SmallestProgramMatchesTheKnownImage) {
  const std::vector<std::uint8_t> known = {0x00, 0x1B, 0xB7, 0x00, 0x00, 0x06, 0x10, 0x00, 0x24,
                                           0x00, 0x2C, 0x00, 0x1C, 0x00, 0x30, 0x00, 0x14, 0x00,
                                           0x02, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7C,
                                           0x5C, 0x34, 0xC7, 0x08, 0x35, 0x2C, 0x32, 0x00, 0x00};
  EXPECT_EQ(imageOf("DAT     org 0\nentry   jmp #entry\n"), known);
}

TEST(ProgramImage, HeaderObjectAndLauncherFollowTheCodeSize) {
  std::vector<std::uint8_t> image =
      imageOf("CON _clkfreq = 80_000_000\n _clkmode = $6F\nDAT org 0\n long 1, 2, 3\n byte 4\n");
  const unsigned datBytes = 16;  // 13 bytes padded to a long
  ASSERT_EQ(image.size(), 0x10u + 8 + datBytes + 8);
  EXPECT_EQ(image[0] | image[1] << 8 | image[2] << 16 | image[3] << 24, 80000000);
  EXPECT_EQ(image[4], 0x6F);
  EXPECT_EQ(word(image, 6), 0x10u);
  EXPECT_EQ(word(image, 8), image.size());
  EXPECT_EQ(word(image, 10), image.size() + 8);
  EXPECT_EQ(word(image, 12), 0x10u + 8 + datBytes);
  EXPECT_EQ(word(image, 14), image.size() + 12);
  EXPECT_EQ(word(image, 0x10), image.size() - 0x10);  // object length
  EXPECT_EQ(image[0x12], 2);                          // one method
  EXPECT_EQ(image[0x13], 0);                          // no sub-objects
  EXPECT_EQ(word(image, 0x14), 8 + datBytes);         // method code offset
  EXPECT_EQ(word(image, 0x16), 0u);                   // no locals
  EXPECT_EQ(image[0x18], 1);
  EXPECT_EQ(image[0x24], 4);
  EXPECT_EQ(image[0x25], 0);
  const std::vector<std::uint8_t> launcher(image.begin() + word(image, 12), image.end());
  EXPECT_EQ(launcher, (std::vector<std::uint8_t>{0x34, 0xC7, 0x08, 0x35, 0x2C, 0x32, 0x00, 0x00}));
}

TEST(ProgramImage, BytesBelowDbaseSumToZeroWithTheStackMarkers) {
  for (const char* source :
       {"DAT nop\n", "DAT long $FFFF_FFFF[100]\n", "CON _clkmode = 1\nDAT byte 7[3]\n",
        "DAT long $12345678, $9ABCDEF0\n word 5\n"}) {
    std::vector<std::uint8_t> image = imageOf(source);
    EXPECT_EQ(loadedByteSum(image), 0u) << source;
    EXPECT_EQ(imageChecksum(image), 0u) << source;
    image[0x18] ^= 1;
    EXPECT_NE(imageChecksum(image), 0u) << source;
  }
}

}  // namespace
}  // namespace qkl::pasm
