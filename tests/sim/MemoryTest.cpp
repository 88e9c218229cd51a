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

namespace {

namespace fs = std::filesystem;

sim::HubRam Loaded(const std::vector<uint8_t>& Image) {
  sim::HubRam Ram;
  for (std::size_t Index = 0; Index * 4 < Image.size(); ++Index)
    Ram.StoreLong(Index, Image[4 * Index] | Image[4 * Index + 1] << 8 | Image[4 * Index + 2] << 16 |
                             static_cast<uint32_t>(Image[4 * Index + 3]) << 24);
  Ram.FinishDownload(Image.size() / 4);
  return Ram;
}

uint32_t LongAt(const sim::HubRam& Ram, uint32_t Address) {
  return Ram.Word(Address) | static_cast<uint32_t>(Ram.Word(Address + 2)) << 16;
}

TEST(HubRam, ValidImageSumsToZeroWithItsStackMarkers) {
  const std::vector<uint8_t> Image = simtest::TinyImage(5);
  const sim::HubRam Ram = Loaded(Image);
  EXPECT_EQ(Ram.ByteSum(), 0);
  const uint32_t Dbase = Image.size() + 8;
  EXPECT_EQ(LongAt(Ram, Dbase - 8), 0xFFF9FFFFu);
  EXPECT_EQ(LongAt(Ram, Dbase - 4), 0xFFF9FFFFu);
}

TEST(HubRam, OneChangedByteBreaksTheSum) {
  std::vector<uint8_t> Image = simtest::TinyImage(5);
  ++Image[20];
  EXPECT_EQ(Loaded(Image).ByteSum(), 1);
}

TEST(HubRam, RestOfRamIsZeroedAfterTheDownload) {
  sim::HubRam Ram;
  sim::HubBytes Dirty;
  Dirty.fill(0x11);
  Ram.Assign(Dirty);
  Ram.StoreLong(0, 0x01020304);
  Ram.FinishDownload(1);
  EXPECT_EQ(LongAt(Ram, 0), 0x01020304u);
  // dbase is 0 now, so both markers would fall below address 0, into ROM.
  EXPECT_EQ(std::count(Ram.Bytes().begin() + 4, Ram.Bytes().end(), 0), 32764);
}

TEST(HubRam, MarkersOutsideRamAreIgnoredAndAddressesWrap) {
  sim::HubRam Ram;
  Ram.StoreLong(2, 0x80080000);  // dbase 0x8008: both markers would fall in ROM
  Ram.FinishDownload(3);
  EXPECT_EQ(Ram.ByteSum(), 0x88);
  Ram.StoreLong(2, 0x80000000);  // dbase 0x8000: the markers are the last two longs of RAM
  Ram.FinishDownload(3);
  EXPECT_EQ(LongAt(Ram, 0x7FF8), 0xFFF9FFFFu);
  EXPECT_EQ(LongAt(Ram, 0x7FFC), 0xFFF9FFFFu);
  Ram.StoreLong(16384, 0xAABBCCDD);  // 16-bit hub addresses: long 16384 is long 0 again
  EXPECT_EQ(LongAt(Ram, 0), 0xAABBCCDDu);
  Ram.StoreLong(8192, 0x12345678);  // at 0x8000: ROM
  EXPECT_EQ(LongAt(Ram, 0), 0xAABBCCDDu);
}

class EepromFile : public ::testing::Test {
protected:
  const simtest::TempFolder Folder;
  const std::string Path = Folder.File("eeprom.bin");
};

TEST_F(EepromFile, MissingFileIsCreatedBlank) {
  sim::EepromStore Eeprom(Path);
  ASSERT_EQ(fs::file_size(Path), 32768u);
  std::ifstream File(Path, std::ios::binary);
  std::string Bytes((std::istreambuf_iterator<char>(File)), {});
  EXPECT_EQ(Bytes, std::string(32768, '\xFF'));
}

TEST_F(EepromFile, ProgramWritesTheWholeFileAndReadsBack) {
  sim::HubBytes Contents;
  for (std::size_t Index = 0; Index < Contents.size(); ++Index)
    Contents[Index] = static_cast<uint8_t>(Index * 13);
  {
    sim::EepromStore Eeprom(Path);
    ASSERT_TRUE(Eeprom.Program(Contents));
    EXPECT_EQ(Eeprom.ReadBack(), Contents);
  }
  EXPECT_EQ(sim::EepromStore(Path).ReadBack(), Contents);
  EXPECT_FALSE(fs::exists(Path + ".new"));
}

TEST_F(EepromFile, FileOfAnotherSizeIsRefusedAndKept) {
  std::ofstream(Path, std::ios::binary) << "short";
  EXPECT_THROW(sim::EepromStore{Path}, std::runtime_error);
  EXPECT_EQ(fs::file_size(Path), 5u);
}

TEST_F(EepromFile, FailedWriteKeepsTheOldContents) {
  sim::EepromStore Eeprom(Path);
  fs::create_directory(Path + ".new");  // the new contents cannot be written beside the file
  sim::HubBytes Zeros{};
  EXPECT_FALSE(Eeprom.Program(Zeros));
  EXPECT_EQ(Eeprom.ReadBack()[0], 0xFF);
}

TEST(EepromMemory, WithoutAFileTheEepromLivesInMemory) {
  sim::EepromStore Eeprom("");
  EXPECT_EQ(Eeprom.ReadBack()[100], 0xFF);
  sim::HubBytes Zeros{};
  ASSERT_TRUE(Eeprom.Program(Zeros));
  EXPECT_EQ(Eeprom.ReadBack(), Zeros);
}

}  // namespace
