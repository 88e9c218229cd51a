// What the link tells a client while it works: the stage it is in and the work of that stage
// done so far, as typed events; and the text each event that starts a stage or completes a
// kilobyte of the read-back has for a client that wants text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

enum class TLinkStage {
  Download,       // Done: image longs sent; Total: longs to send
  RamVerify,      // the verdicts: Done is the polls written, Total the most polls
  EepromProgram,  //
  EepromVerify,   //
  ReaderSync,     // the reader program's sync polls, as the verdicts
  EepromRead,     // Done: kilobytes read back; Total: 32 (64 for a fast read of a 24LC512)
  RateAgreed,     // the fast loader's line: Done is the rate both sides agreed, in baud
};

struct TLinkProgress {
  TLinkStage Stage;
  uint32_t Done;
  uint32_t Total;

  bool operator==(const TLinkProgress&) const = default;
};

// An event that starts a download or a verdict stage, or marks a kilobyte read back; these
// have a status text.
bool IsMilestone(const TLinkProgress& Event);
// "Loading RAM N Longs", "RAM Verify", "Programing EEPROM", "Verifying EEPROM", "Nk completed";
// empty for the other events.
std::string StatusText(const TLinkProgress& Event);

// Notifications a client may ask for: every event, and the status text of each milestone.
struct TLinkHooks {
  std::function<void(const std::string&)> Status;
  std::function<void(const TLinkProgress&)> Progress;
};
