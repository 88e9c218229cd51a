// A line that carries fewer bytes than its rate promises, as a congested or failing adapter
// does: the host's writes drain slowly. A little slower still works; far slower ends the
// download at the first write that cannot finish within the port's deadlock time-out.
#include <gtest/gtest.h>

#include "tests/faults/FaultRun.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"

namespace {

class SlowLine : public testing::Test {
protected:
  // Loads Image into RAM over a line that carries Baud; checks the outcome and that no file
  // changed.
  void ExpectLoad(const std::string& Baud, int BodyLongs, int ExitCode,
                  const std::string& LastLine) {
    SCOPED_TRACE("line at " + Baud + " baud, " + std::to_string(BodyLongs) + " longs");
    const std::string Image = Folder.Write("image.binary", simtest::TinyImage(BodyLongs));
    const faults::Snapshot Before = faults::FilesIn(Folder);
    simtest::ProcessChip Chip({"--slow-drain", Baud});
    const simtest::TimedRun Result =
        faults::RunTimed({"-d", Chip.SlavePath(), "-p", "1", Image}, faults::RamLoadBound);
    EXPECT_EQ(Result.Run.ExitCode, ExitCode) << Result.Run.Output << Chip.Log().Text();
    ASSERT_FALSE(Result.Run.Lines.empty());
    EXPECT_EQ(Result.Run.Lines.back(), LastLine) << Result.Run.Output;
    EXPECT_LT(Result.Took, faults::RamLoadBound);
    EXPECT_TRUE(faults::FilesIn(Folder) == Before) << "a file was written or changed";
  }

  simtest::TempFolder Folder;
};

TEST_F(SlowLine, HalfTheLinkRateStillLoads) { ExpectLoad("57600", 700, 0, simtest::Found); }

TEST_F(SlowLine, FarBelowTheLinkRateEndsTheDownloadAtItsFirstStuckWrite) {
  // 512 bytes take the line more than half a second at 9600 baud.
  ExpectLoad("9600", 8000, 1, "Catastrophic Communication Error");
}

}  // namespace
