#include "link/Propeller.h"
#include "link/ProtocolBytes.h"
#include "link/ProtocolTimes.h"

TPropeller::TPollResult TPropeller::PollForReply(uint32_t Polls, int64_t LimitMs, TLinkStage Stage,
                                                 int32_t ReplyTimeoutMs) {
  static constexpr char Poll[] = {static_cast<char>(PollByte)};
  // Whole milliseconds past the limit: the first moment after it is a full millisecond later.
  const TPortTime Limit = Session.Now() + std::chrono::milliseconds(LimitMs + 1);
  for (uint32_t Number = 0; Number < Polls; ++Number) {
    Notify({Stage, Number + 1, Polls});
    if (!Session.Send({Poll, 1}).Ok()) return {TPollEnd::LineFailed, Number, 0};
    // This poll's byte is out, but its answer is not read once the limit has passed.
    if (Session.Now() >= Limit) return {TPollEnd::TimedOut, Number, 0};
    uint8_t Bit = 0;
    if (ReceiveReplyBit(Bit, ReplyTimeoutMs)) return {TPollEnd::Reply, Number, Bit};
    if (Session.ReadFailed()) return {TPollEnd::LineFailed, Number, 0};
  }
  return {TPollEnd::Exhausted, Polls - 1, 0};
}
