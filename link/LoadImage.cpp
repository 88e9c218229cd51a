#include "link/LinkTexts.h"
#include "link/Propeller.h"
#include "link/ProtocolTimes.h"

namespace {
// The image goes out in writes of a little over this size, each taken by the device well
// within the port's deadlock time-out.
constexpr int32_t ChunkBytes = 512;
}  // namespace

bool TPropeller::LoadImage(uint8_t Mode) {
  if (Mode < 1 || Mode > 3) return false;
  if (FLongCount > ImageLongs) {
    FLastError = "Image longer than 32768 bytes";
    return false;
  }
  // A write the port could not complete means the line is gone or stuck: the image can no
  // longer arrive whole, and every further write would wait out the port's deadlock time-out.
  // A write the device has not finished yet fails in the drain, or shows up as a missing verdict.
  if (!SendWholeDownload(Mode)) return false;
  if (!AwaitVerdict(TLinkStage::RamVerify, VerdictLimitMs, VerdictPolls,
                    "Communication Timeout verifying RAM", "Ram verify error")) {
    return false;
  }
  if (Mode == 1) return true;
  if (!AwaitVerdict(TLinkStage::EepromProgram, ProgrammingVerdictLimitMs, ProgrammingVerdictPolls,
                    "Communication Timeout writing EEPROM", "EEPROM Program Error")) {
    return false;
  }
  return AwaitVerdict(TLinkStage::EepromVerify, VerdictLimitMs, VerdictPolls,
                      "Communication Timeout verifying EEPROM", "EEPROM Verify Error");
}

bool TPropeller::LoadProgram() {
  return SendWholeDownload(1) &&
         AwaitVerdict(TLinkStage::RamVerify, QuickVerdictLimitMs, QuickVerdictLimitMs / QuickPollMs,
                      "Communication Timeout verifying RAM", "Ram verify error", QuickPollMs);
}

bool TPropeller::SendWholeDownload(uint8_t Mode) {
  if (SendDownload(Mode) && Session.DrainOutput().Ok()) return true;
  Session.ResetEncoder();
  FLastError = CommunicationErrorText;
  return false;
}

// Each flush closes the open frame, so every write ends on a whole byte; the line stays high
// between writes, which the chip ignores. Stops at the first write that fails.
bool TPropeller::SendDownload(uint8_t Mode) {
  Session.EncodeLong(Mode);
  if (!SendStream(Session.FlushEncoder())) return false;
  Session.EncodeLong(FLongCount);
  if (!SendStream(Session.FlushEncoder())) return false;
  Notify({TLinkStage::Download, 0, FLongCount});
  for (std::size_t Index = 0; Index < FLongCount; ++Index) {
    Session.EncodeLong(ImageLong(Index));
    if (Session.EncodedBytes() > ChunkBytes) {
      if (!SendStream(Session.FlushEncoder())) return false;
      Notify({TLinkStage::Download, static_cast<uint32_t>(Index + 1), FLongCount});
    }
  }
  const std::string Rest = Session.FlushEncoder();
  return Rest.empty() || SendStream(Rest);
}

bool TPropeller::AwaitVerdict(TLinkStage Stage, int64_t LimitMs, uint32_t Polls,
                              const std::string& TimeoutText, const std::string& FailureText,
                              int32_t ReplyTimeoutMs) {
  Notify({Stage, 0, Polls});
  const TPollResult Result = PollForReply(Polls, LimitMs, Stage, ReplyTimeoutMs);
  switch (Result.End) {
    case TPollEnd::Reply:
      if (Result.Bit == 0) return true;
      FLastError = FailureText;
      return false;
    case TPollEnd::LineFailed: FLastError = CommunicationErrorText; return false;
    case TPollEnd::TimedOut:
    case TPollEnd::Exhausted:
      // Polls that all went unanswered, however quickly, never count as a verdict.
      break;
  }
  FLastError = TimeoutText;
  return false;
}
