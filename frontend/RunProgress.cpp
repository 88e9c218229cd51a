#include "frontend/RunProgress.h"

#include "frontend/Texts.h"

namespace {

const char* VerdictName(TLinkStage Stage) {
  switch (Stage) {
    case TLinkStage::EepromProgram: return ProgrammingEepromWaitText;
    case TLinkStage::EepromVerify: return VerifyingEepromWaitText;
    default: return VerifyingRamWaitText;
  }
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
      if (Where.Done == 1) StartWait(StartingReaderWaitText);
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
    case TKind::Download: return LoadingRamText(Done, Total);
    case TKind::Wait: return WaitText(What, std::chrono::duration<double>(Now() - Started).count());
    case TKind::EepromRead: return ReadingEepromText(Done, Total);
    case TKind::None: break;
  }
  return {};
}

void TRunProgress::Show(bool AtOnce) {
  Line.Show(AttemptWithStageText(AttemptText, StageText()), Now(), AtOnce);
}
