// The shared fixtures themselves: a chip that does not come up ends its test at once, and a
// temporary folder goes whatever a test did to it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

#include "tests/support/ChipFixture.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace std::chrono_literals;

TEST(AwaitPowerOnReset, AChipThatNeverResetsEndsTheTestWithWhatWasAwaited) {
  simtest::ChipLogRecord Silent;
  Silent.Add("link rate 115200 baud");
  try {
    simtest::AwaitPowerOnReset(Silent, 50ms);
    ADD_FAILURE() << "returned as if the chip listened";
  } catch (const std::runtime_error& Error) {
    const std::string Text = Error.what();
    EXPECT_NE(Text.find("no power-on \"reset\" within 50 ms"), std::string::npos) << Text;
    EXPECT_NE(Text.find("link rate 115200 baud"), std::string::npos)
        << "the log is shown: " << Text;
  }
}

TEST(AwaitPowerOnReset, ReturnsOnceTheResetIsLogged) {
  simtest::ChipLogRecord Log;
  Log.Add("reset");
  EXPECT_NO_THROW(simtest::AwaitPowerOnReset(Log, 0ms));
  simtest::ThreadChip Chip;
  EXPECT_EQ(Chip.Log().CountOf("reset"), 1);
}

TEST(ChipLogRecord, WaitForAfterTakesOnlyLinesAfterTheLastEarlierOne) {
  simtest::ChipLogRecord Log;
  Log.Add("the host flushes the port's queues: no reset");
  Log.Add("program starts");
  EXPECT_EQ(Log.WaitForAfter("program starts", "no reset", 0ms), "");
  Log.Add("the host closes: no reset");
  EXPECT_EQ(Log.WaitForAfter("program starts", "no reset", 0ms), "the host closes: no reset");
  EXPECT_EQ(Log.WaitFor("no reset", 0ms), "the host flushes the port's queues: no reset");
}

TEST(TempFolder, GoesWithWhatATestMadeUnwritable) {
  std::filesystem::path Root;
  {
    const simtest::TempFolder Folder;
    Root = Folder.Root();
    const std::string File = Folder.Write("inner/deeper/file", std::string("bytes"));
    EXPECT_EQ(simtest::FileBytes(File), (std::vector<uint8_t>{'b', 'y', 't', 'e', 's'}));
    ASSERT_EQ(::chmod(Folder.File("inner/deeper").c_str(), 0500), 0);
    ASSERT_EQ(::chmod(Folder.File("inner").c_str(), 0500), 0);
    ASSERT_EQ(::chmod(Root.c_str(), 0500), 0);
    const simtest::TempFolder Other;
    EXPECT_NE(Other.Root(), Root);
  }
  EXPECT_FALSE(std::filesystem::exists(Root));
}

}  // namespace
