#include "frontend/RunProgress.h"

#include <cstdio>

namespace {

const char* VerdictName(TLinkStage Stage) {
  switch (Stage) {
    case TLinkStage::EepromProgram: return "programming EEPROM";
    case TLinkStage::EepromVerify: return "verifying EEPROM";
    default: return "verifying RAM";
  }
}

std::string Seconds(TProgressLine::TClock::duration Elapsed) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.1f s", std::chrono::duration<double>(Elapsed).count());
  return Text;
}

}  // namespace

TRunProgress::TRunProgress(TProgressLine& Line, TNow Now) : Line(Line), Now(std::move(Now)) {}

TLinkHooks TRunProgress::Hooks() {
  return {nullptr, [this](const TLinkProgress& Where) { Progress(Where); }};
}

void TRunProgress::Progress(const TLinkProgress& Where) {
  switch (Where.Stage) {
    case TLinkStage::Download:
      Kind = TKind::Download;
      Done = Where.Done;
      Total = Where.Total;
      break;
    case TLinkStage::RamVerify:
    case TLinkStage::EepromProgram:
    case TLinkStage::EepromVerify:
      if (Where.Done == 0) StartWait(VerdictName(Where.Stage));
      break;
    case TLinkStage::ReaderSync:
      // The reader program copies the EEPROM before it answers: its first poll starts the wait.
      if (Where.Done == 1) StartWait("starting the reader");
      break;
    case TLinkStage::EepromRead:
      Kind = TKind::EepromRead;
      Done = Where.Done;
      Total = Where.Total;
      break;
    case TLinkStage::RateAgreed: break;  // the fast loader's, which qkl does not use
  }
  Show(IsMilestone(Where));
}

void TRunProgress::Attempt(const std::string& Text) {
  AttemptText = Text;
  Kind = TKind::None;
  Show(false);
}

void TRunProgress::StartWait(const std::string& Name) {
  Kind = TKind::Wait;
  What = Name;
  Started = Now();
}

std::string TRunProgress::StageText() const {
  switch (Kind) {
    case TKind::Download:
      return "loading RAM " + std::to_string(Done) + " of " + std::to_string(Total) + " longs (" +
             std::to_string(Total > 0 ? uint64_t{Done} * 100 / Total : 100) + "%)";
    case TKind::Wait: return What + " " + Seconds(Now() - Started);
    case TKind::EepromRead:
      return "reading EEPROM " + std::to_string(Done) + " KB of " + std::to_string(Total);
    case TKind::None: break;
  }
  return {};
}

void TRunProgress::Show(bool AtOnce) {
  const std::string Stage = StageText();
  const std::string Separator = !AttemptText.empty() && !Stage.empty() ? ": " : "";
  Line.Show(AttemptText + Separator + Stage, Now(), AtOnce);
}
