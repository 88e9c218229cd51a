// The link's download against the virtual chip: what reaches the wire and the chip's EEPROM.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <thread>

#include "link/Propeller.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WireDecoder.h"
#include "tests/support/ParamNames.h"

namespace {

class LoadImage : public ::testing::TestWithParam<uint32_t> {
protected:
  // Loads the image into the link object and finds the chip.
  void Prepare(const std::vector<uint8_t>& Image, simtest::ThreadChip& Chip) {
    ASSERT_TRUE(Link.LoadFile(Folder.Write("image.binary", Image)));
    ASSERT_TRUE(Link.ChecksumValid());
    Link.SetBaudRate(GetParam());
    ASSERT_EQ(Link.FindPropeller(Chip.SlavePath()), 1);
  }
  simtest::TempFolder Folder;
  TPropeller Link{std::cout};
};

TEST_P(LoadImage, WireCarriesTheModeTheCountAndExactlyTheImageLongs) {
  simtest::ThreadChip Chip(simtest::InstantChip());
  const std::vector<uint8_t> Image = simtest::TinyImage(700);  // several writes of about 512 bytes
  Prepare(Image, Chip);
  ASSERT_TRUE(Link.LoadImage(1)) << Link.LastError();
  const simtest::DecodedDownload Download = simtest::DecodeDownload(Chip.LastExchange().bytes);
  ASSERT_TRUE(Download.Complete);
  EXPECT_EQ(Download.Mode, 1u);
  EXPECT_EQ(Download.Count, Image.size() / 4);
  EXPECT_EQ(Download.Longs, simtest::LongsOf(Image));
  EXPECT_EQ(Download.After, "\xF9\xF9");  // the unanswered sync poll, then the answered one
  EXPECT_NE(
      Chip.Log().WaitFor("image longs received 704, RAM byte sum 0x00", std::chrono::seconds(1)),
      "");
}

TEST_P(LoadImage, ModeThreeWritesTheEeprom) {
  qkl::sim::ChipSettings Settings = simtest::InstantChip();
  Settings.eepromPath = Folder.File("eeprom.bin");
  simtest::ThreadChip Chip(Settings);
  const std::vector<uint8_t> Image = simtest::TinyImage(20);
  Prepare(Image, Chip);
  ASSERT_TRUE(Link.LoadImage(3)) << Link.LastError();
  const std::vector<uint8_t> Eeprom = simtest::FileBytes(Settings.eepromPath);
  ASSERT_EQ(Eeprom.size(), 32768u);
  EXPECT_TRUE(std::equal(Image.begin(), Image.end(), Eeprom.begin()));
}

INSTANTIATE_TEST_SUITE_P(BothRates, LoadImage, ::testing::Values(115200u, 230400u),
                         simtest::RateName);

}  // namespace

// Two links in one process, each on its own thread and at its own rate, write two images into
// the EEPROMs of two qkl-sim processes at the same time.
TEST(TwoLinks, WriteTwoChipsSideBySide) {
  simtest::TempFolder Folder;
  struct TSide {
    std::string Eeprom;
    std::vector<uint8_t> Image;
    uint32_t Baud;
    bool Loaded = false;
    std::string Error;
  };
  TSide Sides[] = {{Folder.File("a.eeprom"), simtest::TinyImage(300), 115200, false, ""},
                   {Folder.File("b.eeprom"), simtest::TinyImage(700), 230400, false, ""}};
  simtest::ProcessChip ChipA({"--eeprom", Sides[0].Eeprom});
  simtest::ProcessChip ChipB({"--eeprom", Sides[1].Eeprom});
  const simtest::ProcessChip* Chips[] = {&ChipA, &ChipB};
  std::vector<std::thread> Threads;
  for (int At = 0; At < 2; ++At) {
    Threads.emplace_back([&Side = Sides[At], &Folder, Chip = Chips[At], At] {
      TPropeller Link{std::cout};
      Link.SetBaudRate(Side.Baud);
      const bool Ready = Link.LoadFile(Folder.Write("image" + std::to_string(At), Side.Image)) &&
                         Link.ChecksumValid() && Link.FindPropeller(Chip->SlavePath()) == 1;
      Side.Loaded = Ready && Link.LoadImage(3);
      Side.Error = Link.LastError();
    });
  }
  for (std::thread& Thread : Threads) Thread.join();
  for (const TSide& Side : Sides) {
    EXPECT_TRUE(Side.Loaded) << Side.Error;
    const std::vector<uint8_t> Written = simtest::FileBytes(Side.Eeprom);
    ASSERT_EQ(Written.size(), 32768u);
    EXPECT_TRUE(std::equal(Side.Image.begin(), Side.Image.end(), Written.begin())) << Side.Eeprom;
  }
}
