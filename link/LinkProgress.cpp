#include "link/LinkProgress.h"

bool IsMilestone(const TLinkProgress& Event) {
  switch (Event.Stage) {
    case TLinkStage::Download:
    case TLinkStage::RamVerify:
    case TLinkStage::EepromProgram:
    case TLinkStage::EepromVerify: return Event.Done == 0;
    case TLinkStage::EepromRead: return true;
    case TLinkStage::ReaderSync:
    case TLinkStage::RateAgreed: break;
  }
  return false;
}

std::string StatusText(const TLinkProgress& Event) {
  if (!IsMilestone(Event)) return {};
  switch (Event.Stage) {
    case TLinkStage::Download: return "Loading RAM " + std::to_string(Event.Total) + " Longs";
    case TLinkStage::RamVerify: return "RAM Verify";
    // The boot loader's own spelling of the stage, kept as clients know it.
    case TLinkStage::EepromProgram: return "Programing EEPROM";
    case TLinkStage::EepromVerify: return "Verifying EEPROM";
    case TLinkStage::EepromRead: return std::to_string(Event.Done) + "k completed";
    case TLinkStage::ReaderSync:
    case TLinkStage::RateAgreed: break;
  }
  return {};
}
