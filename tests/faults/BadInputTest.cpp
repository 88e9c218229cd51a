// Ports that are no serial device and image files that cannot be loaded, or only just can.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/faults/FaultRun.h"
#include "tests/support/EmulatorSpeed.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/HostBits.h"

namespace {

using simtest::AfterBanner;
using simtest::NoFileName;
using std::chrono::milliseconds;
namespace fs = std::filesystem;

using simtest::Found;
constexpr milliseconds FileRefusedBound{2000};

// An image whose header gives vbase and dbase, with the stack markers below dbase and a
// checksum byte that makes the summed range come to zero when dbase lies in 8..32768.
std::vector<uint8_t> ImageWith(uint32_t Vbase, uint32_t Dbase) {
  std::vector<uint8_t> Bytes(std::max<uint32_t>({Vbase, Dbase, 16}), 0);
  Bytes.resize(std::min<std::size_t>(Bytes.size(), 32768));
  auto Put = [&](std::size_t At, uint32_t Value, int Count) {
    for (int Byte = 0; Byte < Count; ++Byte)
      Bytes[At + Byte] = static_cast<uint8_t>(Value >> (8 * Byte));
  };
  Put(0, 12000000, 4);
  Put(8, Vbase, 2);
  Put(10, Dbase, 2);
  if (Dbase >= 16 && Dbase <= 32768) {
    Put(Dbase - 8, 0xFFF9FFFF, 4);
    Put(Dbase - 4, 0xFFF9FFFF, 4);
    uint8_t Sum = 0;
    for (uint32_t At = 0; At < Dbase; ++At) Sum = static_cast<uint8_t>(Sum + Bytes[At]);
    Bytes[5] = static_cast<uint8_t>(-Sum);
    Bytes.resize(Vbase);  // the markers are the boot loader's business, not the file's
  }
  return Bytes;
}

class BadInput : public testing::Test {
protected:
  simtest::TempFolder Folder;

  // Runs qkl and checks the exit code, the last line, the bound and that no file changed.
  simtest::TimedRun Expect(const std::vector<std::string>& Arguments, int ExitCode,
                           const std::string& LastLine, milliseconds Bound) {
    const faults::Snapshot Before = faults::FilesIn(Folder);
    simtest::TimedRun Result = faults::RunTimed(Arguments, Bound);
    EXPECT_EQ(Result.Run.ExitCode, ExitCode) << Result.Run.Output;
    EXPECT_EQ(Result.Run.Lines.empty() ? std::string() : Result.Run.Lines.back(), LastLine)
        << Result.Run.Output;
    EXPECT_LT(Result.Took, Bound);
    EXPECT_TRUE(faults::FilesIn(Folder) == Before) << "a file was written or changed";
    return Result;
  }
};

TEST_F(BadInput, PortsThatAreNoTerminalFindNoChip) {
  const std::string Regular = Folder.Write("regular", std::vector<uint8_t>{1, 2, 3});
  for (const std::string& Port :
       {Folder.File("no-such-device"), Regular, std::string("/dev/null"), Folder.File("")}) {
    SCOPED_TRACE(Port);
    const simtest::TimedRun Detect = Expect({"-d", Port}, 100, NoFileName, faults::DetectionBound);
    EXPECT_EQ(Detect.Run.Lines, AfterBanner({NoFileName}));
    Expect({"-d", Port, "-u", Folder.File("dump")}, 1,
           "Unable to locate Propeller on Port (" + Port + ")", faults::DetectionBound);
  }
}

TEST_F(BadInput, FilesThatHoldNoImageAreRefusedBeforeThePort) {
  fs::create_directory(Folder.File("folder.binary"));
  const std::string Empty = Folder.Write("empty.binary", std::string());
  const std::string Port = Folder.File("no-such-device");
  Expect({"-d", Port, Folder.File("folder.binary")}, 2, "Could not load Binary", FileRefusedBound);
  Expect({"-d", Port, Empty}, 3, "Binary Checksum Invalid!", FileRefusedBound);
}

TEST_F(BadInput, HugeFilesAreReadOnlyForTheirFirst32768Bytes) {
  const std::vector<uint8_t> Bytes = simtest::TinyImage(700);
  const std::string Huge = Folder.Write("huge.binary", Bytes);
  fs::resize_file(Huge, 1ull << 30);  // sparse: a gigabyte of zeros behind the image
  const std::string HugeZeros = Folder.Write("zeros.binary", std::string());
  fs::resize_file(HugeZeros, 1ull << 30);
  Expect({"-d", Folder.File("no-such-device"), HugeZeros}, 3, "Binary Checksum Invalid!",
         FileRefusedBound);
  simtest::ProcessChip Chip({"--instant"});
  Expect({"-d", Chip.SlavePath(), "-p", "1", Huge}, 0, Found, faults::RamLoadBound);
  EXPECT_NE(
      Chip.Log().WaitFor("long count " + std::to_string(Bytes.size() / 4), std::chrono::seconds(1)),
      "");
}

struct Limits {
  uint32_t Vbase;
  uint32_t Dbase;
  bool Loads;
};

TEST_F(BadInput, VbaseAndDbaseAtAndBeyondTheirLimits) {
  simtest::ProcessChip Chip({"--instant"});
  for (const Limits& Each :
       {Limits{32768, 32768, true}, Limits{32760, 32768, true}, Limits{16, 24, true},
        Limits{16, 8, false}, Limits{16, 7, false}, Limits{16, 0, false},
        Limits{32772, 32768, false}, Limits{16, 32772, false}, Limits{65532, 32768, false}}) {
    SCOPED_TRACE("vbase " + std::to_string(Each.Vbase) + " dbase " + std::to_string(Each.Dbase));
    const std::string File = Folder.Write("limit.binary", ImageWith(Each.Vbase, Each.Dbase));
    if (!Each.Loads) {
      Expect({"-d", Chip.SlavePath(), File}, 3, "Binary Checksum Invalid!", FileRefusedBound);
      continue;
    }
    Expect({"-d", Chip.SlavePath(), "-p", "1", File}, 0, Found, faults::RamLoadBound);
    EXPECT_NE(
        Chip.Log().WaitFor("long count " + std::to_string(Each.Vbase / 4), std::chrono::seconds(1)),
        "");
  }
  EXPECT_EQ(Chip.Log().CountOf("mode 1"), 3);
}

TEST_F(BadInput, NamesWithSpacesAndBytesBeyondAscii) {
  simtest::ProcessChip Chip({"--instant"});
  const std::string Name = "image with spaces \xC3\xA9\xFF.binary";
  Expect({"-d", Chip.SlavePath(), "-p", "1", Folder.Write(Name, simtest::TinyImage(20))}, 0, Found,
         faults::RamLoadBound);
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  const std::string Dump = Folder.File("dump with spaces \xC3\xBC\xFE");
  const simtest::TimedRun Read =
      faults::RunTimed({"-d", Chip.SlavePath(), "-u", Dump}, faults::ReadBackBound);
  EXPECT_EQ(Read.Run.ExitCode, 0) << Read.Run.Output;
  EXPECT_EQ(fs::file_size(Dump + ".eeprom"), 32768u);
}

TEST_F(BadInput, NamesTooLongForTheFileSystem) {
  const std::string Port = Folder.File("no-such-device");
  const std::string Longest =
      Folder.Write(std::string(248, 'a') + ".binary", simtest::TinyImage(4));
  Expect({"-d", Port, Longest}, 100, simtest::Banner().back(),
         faults::DetectionBound);  // loadable, no chip
  Expect({"-d", Port, Folder.File(std::string(256, 'b'))}, 2, "Could not load Binary",
         FileRefusedBound);
  std::string Deep = Folder.File("");
  while (Deep.size() < 5000) Deep += std::string(200, 'c') + "/";
  Expect({"-d", Port, Deep + "image.binary"}, 2, "Could not load Binary", FileRefusedBound);
  if (!simtest::EmulatorKeepsUpWithTheHost) GTEST_SKIP() << simtest::SlowEmulator;
  // The read-back works, but its file name with ".eeprom" behind it is too long to save.
  simtest::ProcessChip Chip({"--instant"});
  const std::string TooLong = Folder.File(std::string(252, 'd'));
  Expect({"-d", Chip.SlavePath(), "-u", TooLong}, 3,
         "Unable to save binary image to (" + TooLong + ")", faults::ReadBackBound);
}

}  // namespace
