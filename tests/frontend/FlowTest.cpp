// The flows of a run where no chip answers: a port path that does not exist, or a virtual line
// with nothing at its far end. They run in-process; the list that cannot be read ends in the built
// qkl's top-level error handler.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "frontend/Console.h"
#include "frontend/Run.h"
#include "tests/support/HostBits.h"
#include "tests/support/QklRun.h"
#include "tests/support/TempFolder.h"
#include "tests/support/VirtualLine.h"

namespace {

using simtest::BannerText;
using simtest::RunQklInProcess;

const std::string NoPort = "/nonexistent/qkl-test-port";
const std::string NoFileNote = "No filename specified - will only try and find device\n";

std::string FileListStatistics(int Files, int Dud, int Detect, int Load) {
  return "Tested " + std::to_string(Files) + " Files with " + std::to_string(Dud) +
         " Dud binaries, " + std::to_string(Detect) + " Detection failures and " +
         std::to_string(Load) + " Load Errors\n";
}

// Standard error matches Errors, a regular expression.
void ExpectRun(const simtest::QklRun& Result, const std::string& Out, int ExitCode,
               const std::string& Errors = "") {
  EXPECT_EQ(Result.Output, Out);
  EXPECT_EQ(Result.ExitCode, ExitCode);
  EXPECT_TRUE(std::regex_match(Result.Errors, std::regex(Errors))) << Result.Errors;
}

// The one line a port that does not exist gets on standard error: the port, the system's
// reason, and the serial ports the system has.
std::string MissingPort(const std::string& Port) {
  return "qkl: cannot open port " + Port + ": No such file or directory; " +
         "(no serial ports found|serial ports present:( /dev/[^ ]+)+( and [0-9]+ more)?)\n";
}

}  // namespace

TEST(LoadFlow, NoChipOnAMissingPortEndsWith100) {
  ExpectRun(RunQklInProcess({"-d", NoPort}), BannerText() + NoFileNote, 100, MissingPort(NoPort));
  const simtest::TempFolder Dir;
  ExpectRun(RunQklInProcess({"-d", NoPort, Dir.Write("good.binary", simtest::TinyImage(0))}),
            BannerText(), 100, MissingPort(NoPort));
}

TEST(LoadFlow, UnreadableImageEndsWith2) {
  const simtest::TempFolder Dir;
  ExpectRun(RunQklInProcess({"-d", NoPort, Dir.File("missing.binary")}),
            BannerText() + "Could not load Binary\n", 2);
  ExpectRun(RunQklInProcess({"-d", NoPort, Dir.Root().string()}),
            BannerText() + "Could not load Binary\n", 2);
}

TEST(LoadFlow, BadChecksumEndsWith3BeforeThePort) {
  const simtest::TempFolder Dir;
  const std::string Image =
      Dir.Write("bad.binary", simtest::WithBadChecksum(simtest::TinyImage(0)));
  ExpectRun(RunQklInProcess({"-d", NoPort, Image}), BannerText() + "Binary Checksum Invalid!\n", 3);
  ExpectRun(RunQklInProcess({Image, "-p", "3", "-f", "-d", NoPort}),
            BannerText() + "Binary Checksum Invalid!\n", 3);
}

TEST(ReadBackFlow, NoChipEndsWith1AndWritesNothing) {
  const simtest::TempFolder Dir;
  ExpectRun(RunQklInProcess({"-u", "-d", NoPort, Dir.File("dump")}),
            BannerText() + "Unable to locate Propeller on Port (" + NoPort + ")\n", 1,
            MissingPort(NoPort));
  ExpectRun(RunQklInProcess({"-u", "-p", "2", "-d", NoPort}),
            BannerText() + NoFileNote + "Unable to locate Propeller on Port (" + NoPort + ")\n", 1,
            MissingPort(NoPort));
  EXPECT_TRUE(std::filesystem::is_empty(Dir.Root()));
}

TEST(ReadBackFlow, PortNameIsNotCut) {
  const std::string LongPort = NoPort + std::string(300, 'x');
  ExpectRun(RunQklInProcess({"-u", "-d", LongPort, "dump"}),
            BannerText() + "Unable to locate Propeller on Port (" + LongPort + ")\n", 1,
            MissingPort(LongPort));
}

TEST(FileListTest, ListFromStandardInputWhenNoFileName) {
  ExpectRun(RunQklInProcess({"-t", "-d", NoPort}, ""),
            BannerText() + NoFileNote + FileListStatistics(0, 0, 0, 0), 0);
  ExpectRun(
      RunQklInProcess({"-t", "-l", "-d", NoPort}, "/nonexistent/a.binary\n"),
      BannerText() + NoFileNote + "b /nonexistent/a.binary\n" + FileListStatistics(1, 1, 0, 0), 0);
}

TEST(FileListTest, MarksEveryKindOfEntry) {
  const simtest::TempFolder Dir;
  const std::string Good = Dir.Write("good.binary", simtest::TinyImage(0));
  const std::string Bad = Dir.Write("bad.binary", simtest::WithBadChecksum(simtest::TinyImage(0)));
  const std::string LongName = Dir.File("") + std::string(250, 'L') + "/" + std::string(40, 'M');
  const std::string List = Dir.Write(
      "list", Dir.File("missing\n\n") + Bad + "\r\n" + Good + "\n" + LongName + "\n" + Bad);
  ExpectRun(RunQklInProcess({"-t", "-p", "3", "-d", NoPort, List}),
            BannerText() + "b " + Dir.File("missing\nb \nBdb ") + LongName + "\nB" +
                FileListStatistics(6, 5, 1, 0),
            0, MissingPort(NoPort));
}

TEST(FileListTest, UnopenableListEndsWith217) {
  const simtest::TempFolder Dir;
  ExpectRun(
      simtest::RunQkl({"-t", "-d", NoPort, Dir.File("no-list")}),
      BannerText() + "An unhandled exception occurred: EInOutError: No such file or directory\n",
      217);
  ExpectRun(simtest::RunQkl({"-t", "-d", NoPort, Dir.Root().string()}),
            BannerText() + "An unhandled exception occurred: EInOutError: Is a directory\n", 217);
}

TEST(DetectionTest, NoChipFailsEveryAttempt) {
  ExpectRun(RunQklInProcess({"-l", "-d", NoPort}),
            BannerText() + NoFileNote + std::string(1000, 'd') +
                "Tested 1000 Detections with 1000 Detection failures\n",
            0, MissingPort(NoPort));
}

// The detection test's thousand resets in virtual time, against a line where no chip answers and
// against one that returns every byte the host sends (a modem in echo mode, a loop-back plug):
// every attempt waits out the protocol's limits or reads its own bytes, none of the machine's time.
class ThousandDetections : public testing::TestWithParam<bool> {};

// Returns each chunk the host writes a character time later, until the host is done.
void EchoEverything(TVirtualLine& Line) {
  constexpr auto CharacterTime = std::chrono::microseconds(87);  // ten bits at 115200 baud
  std::string Chunk;
  TPortTime At;
  while (Line.TakeFromHost(Chunk, At, TPortTime::max()) == TVirtualLine::TTake::Data)
    Line.SendToHost(Chunk, At + CharacterTime);
}

TEST_P(ThousandDetections, AllFailInVirtualTime) {
  const bool Echoing = GetParam();
  TVirtualLine Line("/dev/ttyVIRTUAL");
  std::thread FarEnd;
  if (Echoing) {
    Line.FarEndStarts();
    FarEnd = std::thread([&Line] {
      EchoEverything(Line);
      Line.FarEndEnds();
    });
  }
  std::ostringstream Out;
  std::ostringstream Err;
  TConsole Console(nullptr, Out, Err);
  Console.UsePorts([&Line] { return Line.HostPort(); });
  const char* Argv[] = {"qkl", "-l", "-d", "/dev/ttyVIRTUAL"};
  const auto Started = std::chrono::steady_clock::now();
  EXPECT_EQ(::RunQkl(4, Argv, Console), 0);
  Line.HostDone();
  if (FarEnd.joinable()) FarEnd.join();
  EXPECT_LT(std::chrono::steady_clock::now() - Started, std::chrono::seconds(Echoing ? 5 : 1));
  EXPECT_EQ(Out.str(), BannerText() + NoFileNote + std::string(1000, 'd') +
                           "Tested 1000 Detections with 1000 Detection failures\n");
  EXPECT_EQ(Err.str(), "");
  // Each silent attempt: the reset, the packet at 95 ms, 200 ms for the first answer, 50 ms of
  // drain.
  if (!Echoing) {
    EXPECT_GE(Line.Now() - TVirtualLine::Start, std::chrono::seconds(1000 * 347 / 1000));
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, ThousandDetections, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& Info) {
                           return Info.param ? "Echoing" : "Silent";
                         });
