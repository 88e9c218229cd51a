// A small driver of the fast load for the end-to-end tests and the measurements, until qkl-tool
// carries it:
//   qkl-fast-driver load PORT FILE [ram|eeprom|shutdown] [MAXRATE]
//   qkl-fast-driver read PORT FILE [32|64] [MAXRATE]
// It says on standard error which path did the work ("fast RATE" or "classic") or why it failed;
// exit 0 on success, 1 on failure, 2 when a Ctrl-C stopped an EEPROM write.
// QKL_FAST_TRACE in the environment prints the progress events with their times;
// QKL_FAST_CLASSIC_BELOW=BYTES sets the image size below which the classic path does the work.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "link/FastLoad.h"
#include "link/ReplaceFile.h"

namespace {
std::atomic<bool> Stop{false};

extern "C" void OnInterrupt(int) { Stop = true; }

TFastTarget TargetNamed(const std::string& Name) {
  if (Name == "eeprom") return TFastTarget::EepromRun;
  if (Name == "shutdown") return TFastTarget::EepromShutdown;
  return TFastTarget::Ram;
}

int Report(const TFastOutcome& Outcome) {
  if (Outcome.Ok) {
    std::cerr << (Outcome.Classic ? std::string("classic") : "fast " + std::to_string(Outcome.Rate))
              << '\n';
    return 0;
  }
  std::cerr << Outcome.Error << '\n';
  if (!Outcome.Aborted) return 1;
  std::cerr << "pages written:";
  for (const uint32_t Page : Outcome.PagesWritten) std::cerr << ' ' << Page;
  std::cerr << '\n';
  return 2;
}
}  // namespace

int main(int Argc, char** Argv) {
  if (Argc < 4) {
    std::cerr << "usage: qkl-fast-driver load|read PORT FILE [TARGET|KB] [MAXRATE]\n";
    return 1;
  }
  const std::string Command = Argv[1];
  const std::string Port = Argv[2];
  const std::string File = Argv[3];
  const std::string Choice = Argc > 4 ? Argv[4] : "";
  TFastSettings Settings;
  if (Argc > 5) Settings.MaxRate = static_cast<uint32_t>(std::stoul(Argv[5]));
  Settings.Abort = &Stop;
  // QKL_FAST_CLASSIC_BELOW: another crossover, in bytes, to measure it.
  if (const char* Below = std::getenv("QKL_FAST_CLASSIC_BELOW"))
    Settings.ClassicBelowBytes = std::stoul(Below);
  // QKL_FAST_TRACE set: each progress event but the packets' with its time, for the measurements.
  const auto Start = std::chrono::steady_clock::now();
  if (std::getenv("QKL_FAST_TRACE"))
    Settings.Progress = [Start](const TLinkProgress& Event) {
      if (Event.Stage == TLinkStage::Download && Event.Done != 0) return;
      const std::chrono::duration<double> At = std::chrono::steady_clock::now() - Start;
      std::cerr << At.count() << " s: stage " << static_cast<int>(Event.Stage) << ' ' << Event.Done
                << '/' << Event.Total << '\n';
    };
  std::signal(SIGINT, OnInterrupt);
  std::ostringstream Quiet;
  TPropeller Propeller(Quiet);
  if (Command == "read") {
    std::string Bytes;
    const TFastOutcome Outcome =
        FastRead(Propeller, Port, Choice == "64" ? 64 : 32, Settings, Bytes);
    if (Outcome.Ok && !ReplaceFile(File, Bytes.data(), Bytes.size())) {
      std::cerr << "cannot write " << File << '\n';
      return 1;
    }
    return Report(Outcome);
  }
  if (!Propeller.LoadFile(File) || !Propeller.ChecksumValid()) {
    std::cerr << "not a valid image: " << File << '\n';
    return 1;
  }
  return Report(FastLoad(Propeller, Port, TargetNamed(Choice), Settings));
}
