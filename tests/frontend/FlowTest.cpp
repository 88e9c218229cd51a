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
#include "tests/link/ScriptedPeer.h"
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

// The detection test's thousand resets in virtual time: against a line where no chip answers,
// against one that returns every byte the host sends (a modem in echo mode, a loop-back plug),
// and against a chip that answers every handshake. Every attempt waits out the protocol's limits,
// reads its own bytes or takes the chip's answer, none of the machine's time.
enum class TFarEnd { Silent, Echoing, Chip };

class ThousandDetections : public testing::TestWithParam<TFarEnd> {};

// Returns each chunk the host writes a character time later, until the host is done.
void EchoEverything(TVirtualLine& Line) {
  constexpr auto CharacterTime = std::chrono::microseconds(87);  // ten bits at 115200 baud
  std::string Chunk;
  TPortTime At;
  while (Line.TakeFromHost(Chunk, At, TPortTime::max()) == TVirtualLine::TTake::Data)
    Line.SendToHost(Chunk, At + CharacterTime);
}

constexpr int Attempts = 1000;

// The reset pulses on DTR the line saw.
int DtrPulses(const TVirtualLine& Line) {
  int Pulses = 0;
  bool Dtr = false;
  for (const TVirtualLine::TModemChange& Change : Line.ModemChanges()) {
    Pulses += Change.Dtr && !Dtr ? 1 : 0;
    Dtr = Change.Dtr;
  }
  return Pulses;
}

// A chip of version 1 that takes each handshake and answers it.
void AnswerEveryHandshake(TScriptedPeer& Chip) {
  for (int Attempt = 0; Attempt < Attempts; ++Attempt) {
    Chip.TakeHandshake(true);
    Chip.AnswerHandshake(1);
  }
}

TEST_P(ThousandDetections, InVirtualTime) {
  const TFarEnd FarEnd = GetParam();
  TScriptedPeer Peer("/dev/ttyVIRTUAL");
  TVirtualLine& Line = Peer.VirtualLine();
  std::thread Echo;
  if (FarEnd == TFarEnd::Echoing) {
    Line.FarEndStarts();
    Echo = std::thread([&Line] {
      EchoEverything(Line);
      Line.FarEndEnds();
    });
  }
  if (FarEnd == TFarEnd::Chip) Peer.Start(AnswerEveryHandshake);
  std::ostringstream Out;
  std::ostringstream Err;
  TConsole Console(nullptr, Out, Err);
  Console.UsePorts([&Line] { return Line.HostPort(); });
  const char* Argv[] = {"qkl", "-l", "-d", "/dev/ttyVIRTUAL"};
  const auto Started = std::chrono::steady_clock::now();
  EXPECT_EQ(::RunQkl(4, Argv, Console), 0);
  const std::string ChipFailure = Peer.Finish();
  if (Echo.joinable()) Echo.join();
  // A small share of the real-time runs' 350, 150 and 100 s, also in the sanitized build on a
  // busy machine.
  EXPECT_LT(std::chrono::steady_clock::now() - Started, std::chrono::seconds(10));
  const bool Found = FarEnd == TFarEnd::Chip;
  EXPECT_EQ(Out.str(), BannerText() + NoFileNote + std::string(Attempts, Found ? '.' : 'd') +
                           "Tested 1000 Detections with " + (Found ? "0" : "1000") +
                           " Detection failures\n");
  EXPECT_EQ(Err.str(), "");
  EXPECT_EQ(ChipFailure, "");
  EXPECT_EQ(DtrPulses(Line), Attempts);  // every attempt resets the chip
  // Each silent attempt: the reset, the packet at 95 ms, 200 ms for the first answer, 50 ms of
  // drain.
  if (FarEnd == TFarEnd::Silent) {
    EXPECT_GE(Line.Now() - TVirtualLine::Start, std::chrono::seconds(Attempts * 347 / 1000));
  }
}

std::string FarEndName(const testing::TestParamInfo<TFarEnd>& Info) {
  switch (Info.param) {
    case TFarEnd::Silent: return "Silent";
    case TFarEnd::Echoing: return "Echoing";
    case TFarEnd::Chip: return "Chip";
  }
  return {};
}

INSTANTIATE_TEST_SUITE_P(Lines, ThousandDetections,
                         testing::Values(TFarEnd::Silent, TFarEnd::Echoing, TFarEnd::Chip),
                         FarEndName);
