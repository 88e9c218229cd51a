#include "link/Propeller.h"
#include "link/ProtocolBytes.h"
#include "link/ProtocolTimes.h"
#include "link/ShiftRegister.h"

namespace {
// The boot loader answers bytes with all but bit 0 set: 0xFE is a 0, 0xFF a 1.
constexpr uint8_t ReplyMask = 0xFE;
}  // namespace

std::string TPropeller::EncodeHandshakeBits() {
  Lfsr = LfsrSeed;
  Session.ResetEncoder();
  // Bit index 0 keeps the high-speed rule out of the handshake.
  for (int Bit = 0; Bit < HandshakeBits; ++Bit) Session.EncodeBit(StepShiftRegister(Lfsr), 0);
  return Session.FlushEncoder();
}

bool TPropeller::SendStream(const std::string& Stream) { return Session.Send(Stream).Ok(); }

bool TPropeller::ReceiveReplyBit(uint8_t& Bit, int32_t TimeoutMs) {
  uint8_t Reply = 0;
  if (!Session.ReceiveByte(Reply, TimeoutMs).Ok()) return false;
  if ((Reply & ReplyMask) != ReplyMask) return false;
  Bit = Reply & 1;
  return true;
}

bool TPropeller::ReceiveReplyByte(uint8_t& Value, int32_t TimeoutMs) {
  for (int Bit = 0; Bit < 8; ++Bit) {
    uint8_t Received = 0;
    if (!ReceiveReplyBit(Received, TimeoutMs)) return false;
    Value = static_cast<uint8_t>((Value >> 1) | (Received << 7));
  }
  return true;
}

// The handshake answers are clocked out by the tail of the host's packet.
bool TPropeller::ReceiveHandshake() {
  FVersion = 0;
  // The chip answers with the 250 outputs that follow the ones that encoded the handshake.
  for (int Read = 1; Read <= HandshakeBits; ++Read) {
    uint8_t Bit = 0;
    if (!ReceiveReplyBit(Bit, HandshakeReplyTimeoutMs)) {
      FLastError = "Timeout Failed at Read " + std::to_string(Read);
      return false;
    }
    if (Bit != StepShiftRegister(Lfsr)) {
      FLastError = "Mismatch Failed at Read " + std::to_string(Read);
      return false;
    }
  }
  return ReceiveReplyByte(FVersion, HandshakeReplyTimeoutMs);
}
