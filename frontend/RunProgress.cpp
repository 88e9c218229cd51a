#include "frontend/RunProgress.h"

#include <cstdio>
#include <map>

namespace {

constexpr uint32_t EepromKilobytes = 32;

// The stages a verdict is waited for, by the link's stage texts.
const std::map<std::string, std::string> WaitNames = {
    {"RAM Verify", "verifying RAM"},
    {"Programing EEPROM", "programming EEPROM"},
    {"Verifying EEPROM", "verifying EEPROM"},
};

bool NumberBetween(const std::string& Text, const std::string& Before, const std::string& After,
                   uint32_t& Number) {
  if (!Text.starts_with(Before) || !Text.ends_with(After) ||
      Text.size() <= Before.size() + After.size())
    return false;
  const std::string Digits = Text.substr(Before.size(), Text.size() - Before.size() - After.size());
  if (Digits.find_first_not_of("0123456789") != std::string::npos) return false;
  Number = static_cast<uint32_t>(std::stoul(Digits));
  return true;
}

std::string Seconds(TProgressLine::TClock::duration Elapsed) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.1f s", std::chrono::duration<double>(Elapsed).count());
  return Text;
}

}  // namespace

TRunProgress::TRunProgress(TProgressLine& Line, TNow Now) : Line(Line), Now(std::move(Now)) {}

TLinkHooks TRunProgress::Hooks() {
  return {[this](const std::string& Text) { Status(Text); },
          [this](const TLinkProgress& Where) { Progress(Where); }};
}

void TRunProgress::Status(const std::string& Text) {
  uint32_t Number = 0;
  if (NumberBetween(Text, "Loading RAM ", " Longs", Number)) {
    Kind = TKind::Download;
    Done = 0;
    Total = Number;
  } else if (NumberBetween(Text, "", "k completed", Number)) {
    Kind = TKind::EepromRead;
    Done = Number;
  } else if (const auto Wait = WaitNames.find(Text); Wait != WaitNames.end()) {
    StartWait(Wait->second);
  } else {
    Kind = TKind::Other;
    What = Text;
  }
  Show(true);
}

void TRunProgress::Progress(const TLinkProgress& Where) {
  switch (Where.Stage) {
    case TLinkStage::Download: Done = Where.Done; break;
    case TLinkStage::ReaderSync:
      // The reader program copies the EEPROM before it answers: no stage text announces it.
      if (Kind != TKind::Wait || What != "starting the reader") StartWait("starting the reader");
      break;
    case TLinkStage::Verdict: break;
  }
  Show(false);
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
      return "reading EEPROM " + std::to_string(Done) + " KB of " + std::to_string(EepromKilobytes);
    case TKind::Other: return What;
    case TKind::None: break;
  }
  return {};
}

void TRunProgress::Show(bool AtOnce) {
  const std::string Stage = StageText();
  const std::string Separator = !AttemptText.empty() && !Stage.empty() ? ": " : "";
  Line.Show(AttemptText + Separator + Stage, Now(), AtOnce);
}
