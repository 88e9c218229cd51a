#include "qkltool/ProgressBar.h"

#include "qkltool/Messages.h"

namespace {

constexpr uint32_t BarWidth = 24;

std::string Bar(const char* What, uint32_t Done, uint32_t Total, const char* Unit) {
  const uint32_t Filled = Total > 0 ? static_cast<uint32_t>(uint64_t{Done} * BarWidth / Total) : 0;
  return std::string(What) + " [" + std::string(Filled, '#') + std::string(BarWidth - Filled, '.') +
         "] " + std::to_string(Done) + " of " + std::to_string(Total) + " " + Unit;
}

const char* WaitName(TLinkStage Stage) {
  switch (Stage) {
    case TLinkStage::EepromProgram: return "programming EEPROM";
    case TLinkStage::EepromVerify: return "verifying EEPROM";
    case TLinkStage::ReaderSync: return "starting the reader";
    default: return "verifying RAM";
  }
}

}  // namespace

void TProgressBar::Show(const TLinkProgress& Event) {
  const auto Now = TProgressLine::TClock::now();
  const bool NewStage = Event.Stage != Stage || Event.Done == 0;
  if (NewStage) {
    Stage = Event.Stage;
    Started = Now;
  }
  Line.Show(Text(Event), Now, NewStage);
}

std::string TProgressBar::Text(const TLinkProgress& Event) {
  switch (Event.Stage) {
    case TLinkStage::Download: return Bar("loading", Event.Done, Event.Total, "longs");
    case TLinkStage::EepromRead: return Bar("reading EEPROM", Event.Done, Event.Total, "KB");
    case TLinkStage::RateAgreed: return "agreed on " + std::to_string(Event.Done) + " baud";
    default: break;
  }
  return std::string(WaitName(Event.Stage)) + " " + SecondsSince(Started);
}
