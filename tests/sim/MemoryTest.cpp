// Hub RAM after a download (the checksum rule) and the EEPROM file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "sim/EepromStore.h"
#include "sim/HubRam.h"
#include "tests/support/HostBits.h"
#include "tests/support/TempFolder.h"

namespace qkl::sim::testing {
namespace {

namespace fs = std::filesystem;

HubRam Loaded(const std::vector<uint8_t>& image) {
  HubRam ram;
  for (std::size_t index = 0; index * 4 < image.size(); ++index)
    ram.StoreLong(index, image[4 * index] | image[4 * index + 1] << 8 | image[4 * index + 2] << 16 |
                             static_cast<uint32_t>(image[4 * index + 3]) << 24);
  ram.FinishDownload(image.size() / 4);
  return ram;
}

uint32_t LongAt(const HubRam& ram, uint32_t address) {
  return ram.Word(address) | static_cast<uint32_t>(ram.Word(address + 2)) << 16;
}

TEST(HubRam, ValidImageSumsToZeroWithItsStackMarkers) {
  const std::vector<uint8_t> image = simtest::TinyImage(5);
  const HubRam ram = Loaded(image);
  EXPECT_EQ(ram.ByteSum(), 0);
  const uint32_t dbase = image.size() + 8;
  EXPECT_EQ(LongAt(ram, dbase - 8), 0xFFF9FFFFu);
  EXPECT_EQ(LongAt(ram, dbase - 4), 0xFFF9FFFFu);
}

TEST(HubRam, OneChangedByteBreaksTheSum) {
  std::vector<uint8_t> image = simtest::TinyImage(5);
  ++image[20];
  EXPECT_EQ(Loaded(image).ByteSum(), 1);
}

TEST(HubRam, RestOfRamIsZeroedAfterTheDownload) {
  HubRam ram;
  HubBytes dirty;
  dirty.fill(0x11);
  ram.Assign(dirty);
  ram.StoreLong(0, 0x01020304);
  ram.FinishDownload(1);
  EXPECT_EQ(LongAt(ram, 0), 0x01020304u);
  // dbase is 0 now, so both markers would fall below address 0, into ROM.
  EXPECT_EQ(std::count(ram.Bytes().begin() + 4, ram.Bytes().end(), 0), 32764);
}

TEST(HubRam, MarkersOutsideRamAreIgnoredAndAddressesWrap) {
  HubRam ram;
  ram.StoreLong(2, 0x80080000);  // dbase 0x8008: both markers would fall in ROM
  ram.FinishDownload(3);
  EXPECT_EQ(ram.ByteSum(), 0x88);
  ram.StoreLong(2, 0x80000000);  // dbase 0x8000: the markers are the last two longs of RAM
  ram.FinishDownload(3);
  EXPECT_EQ(LongAt(ram, 0x7FF8), 0xFFF9FFFFu);
  EXPECT_EQ(LongAt(ram, 0x7FFC), 0xFFF9FFFFu);
  ram.StoreLong(16384, 0xAABBCCDD);  // 16-bit hub addresses: long 16384 is long 0 again
  EXPECT_EQ(LongAt(ram, 0), 0xAABBCCDDu);
  ram.StoreLong(8192, 0x12345678);  // at 0x8000: ROM
  EXPECT_EQ(LongAt(ram, 0), 0xAABBCCDDu);
}

class EepromFile : public ::testing::Test {
 protected:
  const simtest::TempFolder folder_;
  const std::string path_ = folder_.File("eeprom.bin");
};

TEST_F(EepromFile, MissingFileIsCreatedBlank) {
  EepromStore eeprom(path_);
  ASSERT_EQ(fs::file_size(path_), 32768u);
  std::ifstream file(path_, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), {});
  EXPECT_EQ(bytes, std::string(32768, '\xFF'));
}

TEST_F(EepromFile, ProgramWritesTheWholeFileAndReadsBack) {
  HubBytes contents;
  for (std::size_t index = 0; index < contents.size(); ++index)
    contents[index] = static_cast<uint8_t>(index * 13);
  {
    EepromStore eeprom(path_);
    ASSERT_TRUE(eeprom.Program(contents));
    EXPECT_EQ(eeprom.ReadBack(), contents);
  }
  EXPECT_EQ(EepromStore(path_).ReadBack(), contents);
  EXPECT_FALSE(fs::exists(path_ + ".new"));
}

TEST_F(EepromFile, FileOfAnotherSizeIsRefusedAndKept) {
  std::ofstream(path_, std::ios::binary) << "short";
  EXPECT_THROW(EepromStore{path_}, std::runtime_error);
  EXPECT_EQ(fs::file_size(path_), 5u);
}

TEST_F(EepromFile, FailedWriteKeepsTheOldContents) {
  EepromStore eeprom(path_);
  fs::create_directory(path_ + ".new");  // the new contents cannot be written beside the file
  HubBytes zeros{};
  EXPECT_FALSE(eeprom.Program(zeros));
  EXPECT_EQ(eeprom.ReadBack()[0], 0xFF);
}

TEST(EepromMemory, WithoutAFileTheEepromLivesInMemory) {
  EepromStore eeprom("");
  EXPECT_EQ(eeprom.ReadBack()[100], 0xFF);
  HubBytes zeros{};
  ASSERT_TRUE(eeprom.Program(zeros));
  EXPECT_EQ(eeprom.ReadBack(), zeros);
}

}  // namespace
}  // namespace qkl::sim::testing
