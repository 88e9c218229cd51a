// The detection test (-l) against a chip whose handshake goes wrong: each of its 1000 attempts
// fails on its own, within the time of one detection, and the run still ends with its count.
#include <gtest/gtest.h>

#include "tests/faults/FaultRun.h"
#include "tests/support/ChipFixture.h"

namespace {

TEST(DetectionTestFaults, EchoingLineFailsEveryAttempt) {
  simtest::TempFolder Folder;
  const faults::Snapshot Before = faults::FilesIn(Folder);
  simtest::ProcessChip Chip({"--echo"});
  const simtest::TimedRun Result =
      faults::RunTimed({"-d", Chip.SlavePath(), "-l"}, 1000 * faults::DetectionBound / 4);
  EXPECT_EQ(Result.Run.ExitCode, 0);
  EXPECT_EQ(Result.Run.Lines,
            simtest::AfterBanner(
                {simtest::NoFileName,
                 std::string(1000, 'd') + "Tested 1000 Detections with 1000 Detection failures"}));
  EXPECT_LT(Result.Took, 1000 * faults::DetectionBound / 4);
  EXPECT_TRUE(faults::FilesIn(Folder) == Before);
}

}  // namespace
