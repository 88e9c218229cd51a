#include "link/LinkState.h"
#include "link/Propeller.h"
#include "link/ProtocolBytes.h"
#include "link/ProtocolTimes.h"

uint8_t TPropeller::FindPropeller(const std::string& PortName) {
  ReplyTimeoutMs = HandshakeReplyTimeoutMs;
  // The whole handshake goes out in one write, so the host leaves no gaps in it.
  const std::string Packet = static_cast<char>(PollByte) + EncodeHandshakeBits() +
                             std::string(AnswerWindows, static_cast<char>(PollByte));
  ClosePort();
  if (!OpenPort(PortName)) return 0;
  DelayMs(DrainAfterResetMs);
  DrainInput();
  DelayMs(PacketAfterResetMs);
  if (!SendStream(Packet)) {
    ClosePort();
    return 0;
  }
  if (!ReceiveHandshake(FVersion)) {
    DiscardInput(FailedAnswerDrainMs);
    ClosePort();
    return 0;
  }
  if (FVersion == 0) {
    ClosePort();
    return 0;
  }
  return FVersion;
}
