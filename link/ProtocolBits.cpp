#include "link/LinkState.h"
#include "link/Propeller.h"
#include "link/ProtocolBytes.h"
#include "link/ShiftRegister.h"

namespace {
// The boot loader answers bytes with all but bit 0 set: 0xFE is a 0, 0xFF a 1.
constexpr uint8_t ReplyMask = 0xFE;
}  // namespace

void TPropeller::ResetEncoder() { StreamEncoder.Reset(); }

void TPropeller::EncodeBit(uint8_t Value, int32_t BitIndex) {
  StreamEncoder.EncodeBit(Value, BitIndex, HighSpeedEncoding);
}

void TPropeller::EncodeIdleSlot() { StreamEncoder.EncodeIdleSlot(); }

void TPropeller::EncodeLong(uint32_t Value) { StreamEncoder.EncodeLong(Value, HighSpeedEncoding); }

std::string TPropeller::FlushEncoder() { return StreamEncoder.Flush(); }

void TPropeller::SeedLfsr() { Lfsr = LfsrSeed; }

uint8_t TPropeller::NextLfsrBit() { return StepShiftRegister(Lfsr); }

std::string TPropeller::EncodeHandshakeBits() {
  SeedLfsr();
  ResetEncoder();
  // Bit index 0 keeps the high-speed rule out of the handshake.
  for (int Bit = 0; Bit < HandshakeBits; ++Bit) EncodeBit(NextLfsrBit(), 0);
  return FlushEncoder();
}

bool TPropeller::SendStream(const std::string& Stream) {
  try {
    Serial->WriteString(Stream);
    return true;
  } catch (const ESerialError&) {
    return false;
  }
}

bool TPropeller::ReceiveReplyBit(uint8_t& Bit) {
  uint8_t Reply = 0;
  try {
    Reply = Serial->ReadByte(ReplyTimeoutMs);
  } catch (const ESerialError&) {
    return false;
  }
  if ((Reply & ReplyMask) != ReplyMask) return false;
  Bit = Reply & 1;
  return true;
}

bool TPropeller::ReceiveReplyByte(uint8_t& Value) {
  for (int Bit = 0; Bit < 8; ++Bit) {
    uint8_t Received = 0;
    if (!ReceiveReplyBit(Received)) return false;
    Value = static_cast<uint8_t>((Value >> 1) | (Received << 7));
  }
  return true;
}

bool TPropeller::ReceiveHandshake(uint8_t& VersionOut) {
  VersionOut = 0;
  // The chip answers with the 250 outputs that follow the ones that encoded the handshake.
  for (int Read = 1; Read <= HandshakeBits; ++Read) {
    uint8_t Bit = 0;
    if (!ReceiveReplyBit(Bit)) {
      LastError = "Timeout Failed at Read " + std::to_string(Read);
      return false;
    }
    if (Bit != NextLfsrBit()) {
      LastError = "Mismatch Failed at Read " + std::to_string(Read);
      return false;
    }
  }
  return ReceiveReplyByte(VersionOut);
}
