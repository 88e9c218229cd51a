#include "link/LinkState.h"
#include "link/Propeller.h"
#include "link/ProtocolBytes.h"

TPropeller::TPollResult TPropeller::PollForReply(int Polls, int64_t LimitMs, TLinkStage Stage) {
  using std::chrono::milliseconds;
  const auto Start = TLinkClock::now();
  for (int Poll = 0; Poll < Polls; ++Poll) {
    NotifyProgress(Stage, static_cast<uint32_t>(Poll + 1));
    try {
      Serial->WriteByte(PollByte);
    } catch (const ESerialError&) {
      return {TPollEnd::WriteFailed, Poll, 0};
    }
    // This poll's byte is out, but its answer is not read once the limit has passed.
    if (std::chrono::duration_cast<milliseconds>(TLinkClock::now() - Start).count() > LimitMs) {
      return {TPollEnd::TimedOut, Poll, 0};
    }
    uint8_t Bit = 0;
    if (ReceiveReplyBit(Bit)) return {TPollEnd::Reply, Poll, Bit};
  }
  return {TPollEnd::Exhausted, Polls - 1, 0};
}
