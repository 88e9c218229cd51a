// The failures the chip's boot loader itself reports, met by the link and by the built qkl, with
// the chip's own ROM and with the boot loader model: both must give the same verdicts and leave
// the EEPROM as the ROM does.
#include <gtest/gtest.h>

#include <iostream>
#include <tuple>

#include "link/Propeller.h"
#include "tests/e2e/LoaderUnderTest.h"
#include "tests/support/HostBits.h"
#include "tests/support/TempFolder.h"

namespace e2e {
namespace {

const std::vector<uint8_t> EarlierEeprom(32768, 0x5A);

class LoaderFailure : public ::testing::TestWithParam<std::tuple<LoaderKind, int>> {
protected:
  void SetUp() override {
    if (const std::string Why = SkipReason(Kind()); !Why.empty()) GTEST_SKIP() << Why;
    simtest::WriteFile(EepromPath(), EarlierEeprom);
  }
  LoaderKind Kind() const { return std::get<0>(GetParam()); }
  uint8_t Mode() const { return static_cast<uint8_t>(std::get<1>(GetParam())); }
  std::string EepromPath() const { return Folder.File("chip.eeprom"); }
  qkl::sim::ChipSettings Chip() const { return LoaderChip(Kind(), EepromPath(), 12); }

  simtest::TempFolder Folder;
};

// qkl refuses such a file before it sends it; the link sends whatever its buffer holds.
TEST_P(LoaderFailure, AnImageWhoseChecksumIsWrongFailsTheRamVerdictAndTheChipShutsDown) {
  simtest::ThreadChip Chip(this->Chip());
  const std::string Image = Folder.File("image.binary");
  simtest::WriteFile(Image, simtest::TinyImage(200));
  TPropeller Link{std::cout};
  ASSERT_TRUE(Link.LoadFile(Image));
  ASSERT_TRUE(Link.ChecksumValid());
  Link.SetImageLong(1, Link.ImageLong(1) ^ 0x100);  // one bit of byte 5
  ASSERT_EQ(Link.FindPropeller(Chip.SlavePath()), 1) << Chip.Log().Text();
  EXPECT_FALSE(Link.LoadImage(Mode()));
  EXPECT_EQ(Link.LastError(), "Ram verify error") << Chip.Log().Text();
  TLinkSession& Session = Link.LinkSession();
  ASSERT_TRUE(Session.Send("\xF9").Ok());
  uint8_t Answer = 0;
  EXPECT_TRUE(Session.ReceiveByte(Answer, 200).TimedOut())
      << "a chip that has shut down answers no poll";
  Link.ClosePort();
  EXPECT_EQ(simtest::FileBytes(EepromPath()), EarlierEeprom);
}

INSTANTIATE_TEST_SUITE_P(EveryMode, LoaderFailure,
                         ::testing::Combine(::testing::Values(LoaderKind::Rom, LoaderKind::Model),
                                            ::testing::Values(1, 2, 3)),
                         [](const auto& Info) {
                           return LoaderName(std::get<0>(Info.param)) + "Mode" +
                                  std::to_string(std::get<1>(Info.param));
                         });

class SilentEeprom : public LoaderFailure {};

TEST_P(SilentEeprom, TheRamVerdictPassesThenProgrammingFailsAndQklExitsOne) {
  qkl::sim::ChipSettings Settings = Chip();
  Settings.faults.noEeprom = true;
  simtest::ThreadChip Chip(Settings);
  simtest::WriteFile(Folder.File("image.binary"), simtest::TinyImage(200));
  const QklRun Run =
      RunQkl({"-d", Chip.SlavePath(), "-p", std::to_string(Mode()), Folder.File("image.binary")});
  EXPECT_EQ(Run.ExitCode, 1) << Run.Output << Chip.Log().Text();
  ASSERT_GE(Run.Lines.size(), 2u);
  EXPECT_EQ(Run.Lines[Run.Lines.size() - 2], simtest::Found);
  EXPECT_EQ(Run.Lines.back(), "EEPROM Program Error");
  EXPECT_EQ(simtest::FileBytes(EepromPath()), EarlierEeprom);
}

INSTANTIATE_TEST_SUITE_P(EepromModes, SilentEeprom,
                         ::testing::Combine(::testing::Values(LoaderKind::Rom, LoaderKind::Model),
                                            ::testing::Values(2, 3)),
                         [](const auto& Info) {
                           return LoaderName(std::get<0>(Info.param)) + "Mode" +
                                  std::to_string(std::get<1>(Info.param));
                         });

}  // namespace
}  // namespace e2e
