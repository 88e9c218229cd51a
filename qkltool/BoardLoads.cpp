#include "qkltool/BoardLoads.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "link/FastLoad.h"
#include "link/Propeller.h"
#include "qkltool/ExitCodes.h"

namespace {

struct TBoardResult {
  std::string Port;
  uint8_t Version = 0;  // 0: no chip answered
  bool Passed = false;
  std::string Failure;  // why it did not pass
  double Seconds = 0;
};

std::string WhyNoChip(const TPropeller& Link) {
  if (Link.OpenFailureCode() != 0) return "cannot open the port: " + Link.OpenFailureText();
  if (Link.ResetRefusalCode() != 0)
    return "no chip answered: the adapter refused the reset: " + Link.ResetRefusalText();
  return "no chip answered";
}

// The fast loader's path at up to the rate asked for (it falls back to the boot loader's own
// where it has to), or with Classic the boot loader's path only; on the chip just found.
bool LoadFoundChip(TPropeller& Link, const std::string& Port, const TLoadRequest& Request,
                   uint8_t Mode, std::string& Failure) {
  if (Request.Link.Classic) {
    if (Link.LoadImage(Mode)) return true;
    Failure = Link.LastError();
    return false;
  }
  TFastSettings Settings;
  Settings.MaxRate = Request.Link.MaxRate;
  Settings.ChipFound = true;
  const TFastOutcome Outcome = FastLoad(Link, Port, static_cast<TFastTarget>(Mode), Settings);
  if (!Outcome.Ok) Failure = Outcome.Error.empty() ? Link.LastError() : Outcome.Error;
  return Outcome.Ok;
}

TBoardResult LoadBoard(const std::string& Port, const TLoadRequest& Request, uint8_t Mode,
                       const TLinkWire& Wire) {
  const auto Start = std::chrono::steady_clock::now();
  TBoardResult Result;
  Result.Port = Port;
  std::ostream Discarded(nullptr);
  TPropeller Link(Discarded);
  Wire.Apply(Link);
  Link.LinkSession().HoldResetLine(true);
  if (!Link.LoadFile(Request.File) || !Link.ChecksumValid()) {
    Result.Failure = "cannot read " + Request.File;
  } else if ((Result.Version = Link.FindPropeller(Port)) == 0) {
    Result.Failure = WhyNoChip(Link);
  } else {
    Result.Passed = LoadFoundChip(Link, Port, Request, Mode, Result.Failure);
  }
  Link.ClosePort();
  Result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  return Result;
}

std::string TextLine(const TBoardResult& Board) {
  char Seconds[32];
  std::snprintf(Seconds, sizeof Seconds, "%.2f s", Board.Seconds);
  const std::string Version = Board.Version ? std::to_string(Board.Version) : "-";
  return Board.Port + " version " + Version + (Board.Passed ? " passed " : " failed ") + Seconds +
         (Board.Passed ? "" : ": " + Board.Failure);
}

std::string JsonLine(const TBoardResult& Board) {
  nlohmann::ordered_json Line = {{"port", Board.Port},
                                 {"version", nullptr},
                                 {"passed", Board.Passed},
                                 {"seconds", Board.Seconds}};
  if (Board.Version) Line["version"] = Board.Version;
  if (!Board.Passed) Line["error"] = Board.Failure;
  return Line.dump();
}

}  // namespace

int LoadBoards(const TLoadRequest& Request, uint8_t Mode, const TLinkWire& Wire,
               std::ostream& Out) {
  std::mutex Reporting;
  bool AllPassed = true;
  std::vector<std::thread> Loads;
  for (const std::string& Port : Request.Ports) {
    Loads.emplace_back([&, Port] {
      const TBoardResult Board = LoadBoard(Port, Request, Mode, Wire);
      const std::lock_guard<std::mutex> Lock(Reporting);
      AllPassed = AllPassed && Board.Passed;
      Out << (Request.Json ? JsonLine(Board) : TextLine(Board)) << std::endl;
    });
  }
  for (std::thread& Load : Loads) Load.join();
  return AllPassed ? ExitDone : ExitSomeBoardFailed;
}
