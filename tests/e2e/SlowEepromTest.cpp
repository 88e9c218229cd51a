// EEPROMs whose self-timed page write is slower than the usual 5 ms, met by the built qkl through
// the chip's own ROM and through the boot loader model. At the slow end of the RC clock the
// loader's 512 pages of 10 ms take over 7 s; on a fast clock the loader's tries of the next
// page's write command run out before a 15 ms write cycle ends, and it reports a failure.
#include <gtest/gtest.h>

#include <string_view>
#include <tuple>

#include "tests/e2e/LoaderUnderTest.h"
#include "tests/support/HostBits.h"
#include "tests/support/TempFolder.h"

namespace e2e {
namespace {

const std::vector<uint8_t> EarlierEeprom(32768, 0x5A);
constexpr std::size_t PageBytes = 64;

struct SlowPages {
  const char* Name;
  int ClockMhz;
  int PageWriteMs;
  const char* Mode;
  const char* LastLine;  // of qkl's output
};

// The RAM the loader programs: the image, the two stack marker longs below dbase, then zeros.
std::vector<uint8_t> LoadedRam(const std::vector<uint8_t>& Image) {
  std::vector<uint8_t> Ram = Image;
  Ram.insert(Ram.end(), {0xFF, 0xFF, 0xF9, 0xFF, 0xFF, 0xFF, 0xF9, 0xFF});
  Ram.resize(32768, 0);
  return Ram;
}

class SlowEeprom : public ::testing::TestWithParam<std::tuple<LoaderKind, SlowPages>> {
protected:
  void SetUp() override {
    if (const std::string Why = SkipReason(Kind()); !Why.empty()) GTEST_SKIP() << Why;
    simtest::WriteFile(Folder.File("chip.eeprom"), EarlierEeprom);
  }
  LoaderKind Kind() const { return std::get<0>(GetParam()); }
  const SlowPages& Pages() const { return std::get<1>(GetParam()); }

  simtest::TempFolder Folder;
};

TEST_P(SlowEeprom, TheProgrammingVerdictAndTheEepromAreThoseOfTheLoader) {
  qkl::sim::ChipSettings Settings =
      LoaderChip(Kind(), Folder.File("chip.eeprom"), Pages().ClockMhz);
  Settings.instant = false;
  Settings.pageWriteSeconds = Pages().PageWriteMs * 1e-3;
  simtest::ThreadChip Chip(Settings);
  const std::vector<uint8_t> Image = simtest::TinyImage(300);
  simtest::WriteFile(Folder.File("image.binary"), Image);
  const QklRun Run =
      RunQkl({"-d", Chip.SlavePath(), "-p", Pages().Mode, Folder.File("image.binary")});
  const bool Passes = std::string_view(Pages().LastLine) == simtest::Found;
  EXPECT_EQ(Run.ExitCode, Passes ? 0 : 1) << Run.Output << Chip.Log().Text();
  ASSERT_FALSE(Run.Lines.empty());
  EXPECT_EQ(Run.Lines.back(), Pages().LastLine);
  // A failed programming leaves the first page written and the rest as it was.
  std::vector<uint8_t> Expected = LoadedRam(Image);
  if (!Passes)
    std::copy(EarlierEeprom.begin() + PageBytes, EarlierEeprom.end(), Expected.begin() + PageBytes);
  EXPECT_EQ(simtest::FileBytes(Folder.File("chip.eeprom")), Expected);
}

INSTANTIATE_TEST_SUITE_P(
    BothLoaders, SlowEeprom,
    ::testing::Combine(
        ::testing::Values(LoaderKind::Rom, LoaderKind::Model),
        ::testing::Values(SlowPages{"8MHzWith10msPagesModeTwo", 8, 10, "2", simtest::Found},
                          SlowPages{"8MHzWith10msPagesModeThree", 8, 10, "3", simtest::Found},
                          // Pages longer than the boot loader's write tries last (17.3 ms at
                          // 12 MHz), on the clock whose 167 ms answer limit a busy host meets.
                          SlowPages{"12MHzWith20msPages", 12, 20, "3", "EEPROM Program Error"})),
    [](const auto& Info) {
      return LoaderName(std::get<0>(Info.param)) + std::get<1>(Info.param).Name;
    });

}  // namespace
}  // namespace e2e
