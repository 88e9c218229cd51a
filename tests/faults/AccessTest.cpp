// Ports and files that exist but cannot be had: a port that another program holds in exclusive
// mode, a port and an image file the user has no permission to open. Root opens any terminal or
// file whatever its mode or exclusive state, so when the suite runs as root qkl runs here as the
// unprivileged user nobody.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "tests/faults/FaultRun.h"
#include "tests/support/QklRun.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"
#include "tests/support/RunProgram.h"

namespace {

using std::chrono::milliseconds;

const char* const Setpriv = "/usr/bin/setpriv";

bool AsRoot() { return ::geteuid() == 0; }

simtest::ProgramResult RunUnprivileged(const std::vector<std::string>& Arguments,
                                       milliseconds Timeout) {
  if (!AsRoot()) return simtest::RunProgram(simtest::QklPath(), Arguments, {}, Timeout);
  std::vector<std::string> All = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                  simtest::QklPath()};
  All.insert(All.end(), Arguments.begin(), Arguments.end());
  return simtest::RunProgram(Setpriv, All, {}, Timeout);
}

class Access : public testing::Test {
protected:
  void SetUp() override {
    if (AsRoot() && !std::filesystem::exists(Setpriv))
      GTEST_SKIP() << "running as root without " << Setpriv;
    if (RunUnprivileged({"-v"}, milliseconds(5000)).ExitCode != 0)
      GTEST_SKIP() << "an unprivileged user cannot run the built qkl from this folder";
  }

  // Detection and read-back on the port: both find no chip, in the detection's time, and say
  // on standard error why the port could not be opened.
  void ExpectNoChipOn(const std::string& Port, const std::string& Reason) {
    for (const bool ReadBack : {false, true}) {
      std::vector<std::string> Arguments = {"-d", Port};
      if (ReadBack) Arguments.insert(Arguments.end(), {"-u", Folder.File("dump")});
      const auto Start = std::chrono::steady_clock::now();
      const simtest::ProgramResult Run = RunUnprivileged(Arguments, 2 * faults::DetectionBound);
      EXPECT_LT(std::chrono::steady_clock::now() - Start, faults::DetectionBound);
      EXPECT_TRUE(Run.Errors.starts_with("qkl: cannot open port " + Port + ": " + Reason))
          << Run.Errors;
      EXPECT_EQ(std::count(Run.Errors.begin(), Run.Errors.end(), '\n'), 1) << Run.Errors;
      if (ReadBack) {
        EXPECT_EQ(Run.ExitCode, 1) << Run.Output;
        EXPECT_NE(Run.Output.find("Unable to locate Propeller on Port (" + Port + ")"),
                  std::string::npos)
            << Run.Output;
      } else {
        EXPECT_EQ(Run.ExitCode, 100) << Run.Output;
        EXPECT_EQ(Run.Output.find("Found!"), std::string::npos) << Run.Output;
      }
    }
    EXPECT_TRUE(faults::FilesIn(Folder).empty()) << "a file was written";
  }

  void ExpectChipOn(const std::string& Port) {
    const simtest::ProgramResult Run = RunUnprivileged({"-d", Port}, 2 * faults::DetectionBound);
    EXPECT_EQ(Run.ExitCode, 0) << Run.Output;
    EXPECT_NE(Run.Output.find(simtest::Found), std::string::npos) << Run.Output;
    EXPECT_EQ(Run.Errors, "");
  }

  simtest::TempFolder Folder;
};

TEST_F(Access, PortHeldExclusivelyByAnotherProgramFindsNoChipUntilReleased) {
  simtest::ProcessChip Chip({"--instant"});
  ASSERT_EQ(::chmod(Chip.SlavePath().c_str(), 0666), 0);
  const int Holder = ::open(Chip.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(Holder, 0);
  ASSERT_EQ(::ioctl(Holder, TIOCEXCL), 0);
  ExpectNoChipOn(Chip.SlavePath(), "Device or resource busy; another program holds the port");
  ASSERT_EQ(::ioctl(Holder, TIOCNXCL), 0);
  ::close(Holder);
  ExpectChipOn(Chip.SlavePath());
}

TEST_F(Access, PortWithoutPermissionFindsNoChipUntilOpenedUp) {
  simtest::ProcessChip Chip({"--instant"});
  ASSERT_EQ(::chmod(Chip.SlavePath().c_str(), 0600), 0);
  ExpectNoChipOn(Chip.SlavePath(), "Permission denied; the port belongs to the group ");
  ASSERT_EQ(::chmod(Chip.SlavePath().c_str(), 0666), 0);
  ExpectChipOn(Chip.SlavePath());
}

TEST_F(Access, ImageFileWithoutPermissionIsRefusedBeforeThePort) {
  const std::string Image = Folder.Write("locked.binary", simtest::TinyImage(20));
  ASSERT_EQ(::chmod(Image.c_str(), 0600), 0);
  const faults::Snapshot Before = faults::FilesIn(Folder);
  const std::vector<std::string> Load = {"-d", Folder.File("no-such-device"), Image};
  const simtest::ProgramResult Run = RunUnprivileged(Load, 2 * faults::DetectionBound);
  EXPECT_EQ(Run.ExitCode, 2) << Run.Output;
  EXPECT_NE(Run.Output.find("Could not load Binary"), std::string::npos) << Run.Output;
  EXPECT_TRUE(faults::FilesIn(Folder) == Before) << "a file was written or changed";
  ASSERT_EQ(::chmod(Image.c_str(), 0644), 0);
  const simtest::ProgramResult Readable = RunUnprivileged(Load, 2 * faults::DetectionBound);
  EXPECT_EQ(Readable.ExitCode, 100) << "loadable once readable, and no chip: " << Readable.Output;
}

}  // namespace
