// The fast load against qkl-sim on its paced line, with the boot loader model and with the chip's
// ROM: the rate it agrees on, a crystal image's clock, a damaged packet, the fallback to the
// classic download when the crystal is missing, the EEPROM written and read back, and a write
// stopped by the user.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <sstream>

#include "link/FastLoad.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/EmulatorSpeed.h"
#include "tests/support/RomFolder.h"
#include "tests/support/TempFolder.h"

namespace {

constexpr std::size_t PageBytes = 64;
constexpr uint32_t Vbase = 0x7FF0;  // 32 KB but for the stack and the loader's mailbox
constexpr uint32_t Dbase = Vbase + 8;
constexpr uint8_t RcFast = 0x00;
constexpr uint8_t CrystalPll16 = 0x6F;  // 80 MHz from a 5 MHz crystal

void PutLong(std::vector<uint8_t>& Bytes, std::size_t At, uint32_t Value) {
  for (std::size_t Byte = 0; Byte < 4; ++Byte)
    Bytes[At + Byte] = static_cast<uint8_t>(Value >> (8 * Byte));
}

// RAM as the boot loader leaves it after loading a random image of Vbase bytes that runs at
// ClockMode: the image, zeros, the two stack markers below dbase.
std::vector<uint8_t> Ram(uint8_t ClockMode, unsigned Seed) {
  std::mt19937 Random(Seed);
  std::vector<uint8_t> Ram(32768, 0);
  std::generate(Ram.begin(), Ram.begin() + Vbase, [&] { return static_cast<uint8_t>(Random()); });
  PutLong(Ram, 0, ClockMode == RcFast ? 12000000 : 80000000);
  Ram[4] = ClockMode;
  Ram[5] = 0;
  const uint32_t Words[] = {0x0010, Vbase, Dbase, 0x0018, Dbase + 8};  // pbase to dcurr
  for (std::size_t Word = 0; Word < 5; ++Word) {
    Ram[6 + Word * 2] = static_cast<uint8_t>(Words[Word]);
    Ram[7 + Word * 2] = static_cast<uint8_t>(Words[Word] >> 8);
  }
  PutLong(Ram, Dbase - 8, 0xFFF9FFFF);
  PutLong(Ram, Dbase - 4, 0xFFF9FFFF);
  unsigned Sum = 0;
  for (const uint8_t Byte : Ram) Sum += Byte;
  Ram[5] = static_cast<uint8_t>(-Sum);
  return Ram;
}

std::string ImageFile(simtest::TempFolder& Folder, const std::vector<uint8_t>& Ram) {
  return Folder.Write("image.binary", std::vector<uint8_t>(Ram.begin(), Ram.begin() + Vbase));
}

struct TLoadCase {
  std::string Name;
  std::vector<std::string> Chip;  // qkl-sim's options beside --paced
  uint8_t ClockMode;
  bool WithRom;
  uint32_t Rate;            // the rate agreed; 0: the classic download did the work
  std::string Logged = {};  // a line of the chip's log that shows the fault came
};

class FastLoad : public ::testing::TestWithParam<TLoadCase> {
protected:
  simtest::TempFolder Folder;
  std::ostringstream Out;
  TPropeller Link{Out};
};

TEST_P(FastLoad, LoadsTheImageIntoRamAtTheRateItsClockAllowsOrFallsBack) {
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  std::vector<std::string> Options = GetParam().Chip;
  Options.push_back("--paced");
  if (GetParam().WithRom) {
    if (const std::string Why = simtest::WhyNoRom(); !Why.empty()) GTEST_SKIP() << Why;
    Options.insert(Options.end(), {"--rom", simtest::RomFolder()});
  }
  simtest::ProcessChip Chip(Options);
  ASSERT_TRUE(Link.LoadFile(ImageFile(Folder, Ram(GetParam().ClockMode, 1))));
  ASSERT_TRUE(Link.ChecksumValid());
  // The rate agreed for the image; a busy machine's emulator may fall behind at it, and the
  // image then goes on at a lower one.
  uint32_t Agreed = 0;
  TFastSettings Settings;
  Settings.Progress = [&](const TLinkProgress& Event) {
    if (Event.Stage == TLinkStage::RateAgreed) Agreed = Event.Done;
  };
  const TFastOutcome Outcome = ::FastLoad(Link, Chip.SlavePath(), TFastTarget::Ram, Settings);
  ASSERT_TRUE(Outcome.Ok) << Outcome.Error;
  EXPECT_EQ(Outcome.Classic, GetParam().Rate == 0);
  if (GetParam().Rate != 0) {
    EXPECT_EQ(Agreed, GetParam().Rate);
    EXPECT_GT(Outcome.Rate, 0u);
    EXPECT_LE(Outcome.Rate, Agreed);
  }
  if (!GetParam().Logged.empty()) {
    EXPECT_NE(Chip.Log().WaitFor(GetParam().Logged, std::chrono::seconds(1)), "");
  }
}

// Byte 5000 of the second stage and image damages a packet, which the chip refuses and the host
// sends again.
INSTANTIATE_TEST_SUITE_P(
    Paced, FastLoad,
    ::testing::Values(TLoadCase{"RcClock", {}, RcFast, false, 460800},
                      TLoadCase{"Crystal", {"--crystal", "5"}, CrystalPll16, false, 3000000},
                      TLoadCase{"CrystalWithRom", {"--crystal", "5"}, CrystalPll16, true, 3000000},
                      TLoadCase{"DamagedPacket",
                                {"--corrupt-byte", "5000"},
                                RcFast,
                                false,
                                460800,
                                "arrives corrupted"},
                      TLoadCase{"NoCrystal", {"--crystal", "0"}, CrystalPll16, false, 0}),
    [](const auto& Info) { return Info.param.Name; });

class FastEeprom : public ::testing::Test {
protected:
  void SetUp() override {
    Image = Ram(RcFast, 2);
    ASSERT_TRUE(Link.LoadFile(ImageFile(Folder, Image)));
    ASSERT_TRUE(Link.ChecksumValid());
  }
  simtest::TempFolder Folder;
  std::ostringstream Out;
  TPropeller Link{Out};
  std::vector<uint8_t> Image;
};

// The EEPROM holds the image but for four pages; the write leaves exactly RAM in it, and the
// read-back gives it back.
TEST_F(FastEeprom, WritesTheImageAndReadsItBack) {
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  std::vector<uint8_t> Old = Image;
  for (const std::size_t Page : {0, 100, 300, 511}) Old[Page * PageBytes + 9] ^= 0x40;
  const std::string Eeprom = Folder.Write("eeprom.bin", Old);
  simtest::ProcessChip Chip({"--paced", "--eeprom", Eeprom});
  const TFastOutcome Written = ::FastLoad(Link, Chip.SlavePath(), TFastTarget::EepromShutdown, {});
  ASSERT_TRUE(Written.Ok) << Written.Error;
  EXPECT_FALSE(Written.Classic);
  EXPECT_TRUE(simtest::FileBytes(Eeprom) == Image);
  std::string Read;
  const TFastOutcome ReadBack = FastRead(Link, Chip.SlavePath(), 32, {}, Read);
  ASSERT_TRUE(ReadBack.Ok) << ReadBack.Error;
  EXPECT_FALSE(ReadBack.Classic);
  EXPECT_TRUE(Read == std::string(Image.begin(), Image.end()));
}

// The user stops the write as it begins: the chip names the pages it wrote, and those are the
// pages that hold the image now.
TEST_F(FastEeprom, AStoppedWriteSaysWhichPagesItWrote) {
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  const std::string Eeprom = Folder.Write("eeprom.bin", std::vector<uint8_t>(32768, 0xFF));
  simtest::ProcessChip Chip({"--paced", "--eeprom", Eeprom});
  std::atomic<bool> Stop{false};
  TFastSettings Settings;
  Settings.Abort = &Stop;
  Settings.Progress = [&](const TLinkProgress& Event) {
    if (Event.Stage == TLinkStage::EepromProgram) Stop = true;
  };
  const TFastOutcome Outcome =
      ::FastLoad(Link, Chip.SlavePath(), TFastTarget::EepromShutdown, Settings);
  ASSERT_FALSE(Outcome.Ok);
  ASSERT_TRUE(Outcome.Aborted) << Outcome.Error;
  ASSERT_TRUE(Outcome.PagesKnown);
  EXPECT_FALSE(Outcome.PagesWritten.empty());
  EXPECT_LT(Outcome.PagesWritten.size(), 512u);
  const std::vector<uint8_t> Now = simtest::FileBytes(Eeprom);
  for (uint32_t Page = 0; Page < 512; ++Page) {
    const bool Written = std::find(Outcome.PagesWritten.begin(), Outcome.PagesWritten.end(),
                                   Page) != Outcome.PagesWritten.end();
    const auto At = static_cast<std::ptrdiff_t>(Page * PageBytes);
    const std::vector<uint8_t>& Expected = Written ? Image : std::vector<uint8_t>(32768, 0xFF);
    EXPECT_TRUE(std::equal(Now.begin() + At, Now.begin() + At + PageBytes, Expected.begin() + At))
        << "page " << Page << (Written ? " written" : " not written");
  }
}

}  // namespace
