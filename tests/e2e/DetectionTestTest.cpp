// The detection test (-l) of the built qkl: 1000 resets and handshakes in a row.
#include <gtest/gtest.h>

#include "tests/support/QklRun.h"
#include "tests/support/ChipFixture.h"

namespace {

// Each attempt waits for the reset and a handshake: about 0.1 s with a chip, 0.35 s without.
constexpr std::chrono::minutes Allowed(15);

TEST(QklDetectionTest, ThousandDetectionsOfAChip) {
  simtest::ThreadChip Chip;
  const simtest::QklRun Run = simtest::RunQkl({"-d", Chip.SlavePath(), "-l"}, {}, Allowed);
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Lines,
            simtest::AfterBanner(
                {simtest::NoFileName,
                 std::string(1000, '.') + "Tested 1000 Detections with 0 Detection failures"}));
  EXPECT_EQ(Chip.Log().CountOf("handshake answered"), 1000);
}

TEST(QklDetectionTest, ThousandFailuresWithoutAChip) {
  qkl::sim::ChipSettings Settings;
  Settings.faults.absent = true;
  simtest::ThreadChip Chip(Settings);
  const simtest::QklRun Run = simtest::RunQkl({"-f", "-d", Chip.SlavePath(), "-l"}, {}, Allowed);
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Lines,
            simtest::AfterBanner(
                {simtest::NoFileName,
                 std::string(1000, 'd') + "Tested 1000 Detections with 1000 Detection failures"}));
}

}  // namespace
