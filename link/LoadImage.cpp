#include "link/LinkState.h"
#include "link/LinkTexts.h"
#include "link/Propeller.h"
#include "link/ProtocolTimes.h"

namespace {
// The image goes out in writes of a little over this size, each taken by the device well
// within the port's deadlock time-out.
constexpr int32_t ChunkBytes = 512;
}  // namespace

bool TPropeller::LoadImage(uint8_t Mode) {
  ReplyTimeoutMs = PollReplyTimeoutMs;
  if (Mode < 1 || Mode > 3) return false;
  if (LongCount > ImageLongs) {
    LastError = "Image longer than 32768 bytes";
    return false;
  }
  if (!SendDownload(Mode)) {
    // A write the port could not complete means the line is gone or stuck: the image can no
    // longer arrive whole, and every further write would wait out the port's deadlock time-out.
    ResetEncoder();
    LastError = CommunicationErrorText;
    return false;
  }
  // A write the device has not finished yet fails here, or shows up as a missing verdict.
  try {
    Serial->FlushOutput();
  } catch (const ESerialError&) {
    LastError = CommunicationErrorText;
    return false;
  }
  if (!AwaitVerdict("RAM Verify", "Communication Timeout verifying RAM", "Ram verify error",
                    VerdictPolls, VerdictLimitMs)) {
    return false;
  }
  if (Mode == 1) return true;
  if (!AwaitVerdict("Programing EEPROM", "Communication Timeout writing EEPROM",
                    "EEPROM Program Error", ProgramVerdictPolls, ProgramVerdictLimitMs)) {
    return false;
  }
  return AwaitVerdict("Verifying EEPROM", "Communication Timeout verifying EEPROM",
                      "EEPROM Verify Error", VerdictPolls, VerdictLimitMs);
}

// Each flush closes the open frame, so every write ends on a whole byte; the line stays high
// between writes, which the chip ignores. Stops at the first write that fails.
bool TPropeller::SendDownload(uint8_t Mode) {
  EncodeLong(Mode);
  if (!SendStream(FlushEncoder())) return false;
  EncodeLong(LongCount);
  if (!SendStream(FlushEncoder())) return false;
  NotifyStatus("Loading RAM " + std::to_string(LongCount) + " Longs");
  for (std::size_t Index = 0; Index < LongCount; ++Index) {
    EncodeLong(ImageLong(Index));
    if (StreamEncoder.ByteCount() > ChunkBytes) {
      if (!SendStream(FlushEncoder())) return false;
      NotifyProgress(TLinkStage::Download, static_cast<uint32_t>(Index + 1));
    }
  }
  const std::string Rest = FlushEncoder();
  return Rest.empty() || SendStream(Rest);
}

bool TPropeller::AwaitVerdict(const std::string& Stage, const std::string& TimeoutText,
                              const std::string& FailureText, int Polls, int64_t LimitMs) {
  NotifyStatus(Stage);
  const TPollResult Result = PollForReply(Polls, LimitMs, TLinkStage::Verdict);
  switch (Result.End) {
    case TPollEnd::Reply:
      if (Result.Bit == 0) return true;
      LastError = FailureText;
      return false;
    case TPollEnd::WriteFailed: LastError = CommunicationErrorText; return false;
    case TPollEnd::TimedOut:
    case TPollEnd::Exhausted:
      // Polls that all went unanswered, however quickly, never count as a verdict.
      break;
  }
  LastError = TimeoutText;
  return false;
}
