// What a download leaves behind, with the chip's own ROM and with the boot loader model.
#include <gtest/gtest.h>

#include "tests/e2e/LoaderUnderTest.h"
#include "tests/support/HostBits.h"
#include "tests/support/TempFolder.h"

namespace e2e {
namespace {

// The EEPROM after qkl -p 2: the loader writes all of its RAM, so the image, the two stack
// marker longs below dbase and zeros up to the end.
std::vector<uint8_t> EepromAfterModeTwo(LoaderKind Kind, const std::vector<uint8_t>& Image) {
  const simtest::TempFolder Folder;
  simtest::WriteFile(Folder.File("chip.eeprom"), std::vector<uint8_t>(32768, 0x5A));
  simtest::ThreadChip Chip(LoaderChip(Kind, Folder.File("chip.eeprom"), 12));
  simtest::WriteFile(Folder.File("image.binary"), Image);
  const QklRun Run = RunQkl({"-d", Chip.SlavePath(), "-p", "2", Folder.File("image.binary")});
  EXPECT_EQ(Run.ExitCode, 0) << LoaderName(Kind) << "\n" << Run.Output << Chip.Log().Text();
  return simtest::FileBytes(Folder.File("chip.eeprom"));
}

TEST(LoaderAgreement, ModeTwoLeavesTheSameEepromWithTheRomAndTheModel) {
  if (const std::string Why = SkipReason(LoaderKind::Rom); !Why.empty()) GTEST_SKIP() << Why;
  const std::vector<uint8_t> Image = simtest::TinyImage(300);
  const std::vector<uint8_t> Rom = EepromAfterModeTwo(LoaderKind::Rom, Image);
  ASSERT_EQ(Rom.size(), 32768u);
  EXPECT_TRUE(std::equal(Image.begin(), Image.end(), Rom.begin()));
  const std::vector<uint8_t> Markers = {0xFF, 0xFF, 0xF9, 0xFF, 0xFF, 0xFF, 0xF9, 0xFF};
  EXPECT_TRUE(
      std::equal(Markers.begin(), Markers.end(), Rom.begin() + static_cast<long>(Image.size())));
  EXPECT_TRUE(std::all_of(Rom.begin() + static_cast<long>(Image.size() + Markers.size()), Rom.end(),
                          [](uint8_t Byte) { return Byte == 0; }));
  EXPECT_EQ(EepromAfterModeTwo(LoaderKind::Model, Image), Rom);
}

}  // namespace
}  // namespace e2e
