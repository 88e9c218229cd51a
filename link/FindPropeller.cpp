#include "link/Propeller.h"
#include "link/ProtocolBytes.h"
#include "link/ProtocolTimes.h"

uint8_t TPropeller::FindPropeller(const std::string& PortName) {
  // The whole handshake goes out in one write, so the host leaves no gaps in it.
  const std::string Packet = static_cast<char>(PollByte) + EncodeHandshakeBits() +
                             std::string(AnswerWindows, static_cast<char>(PollByte));
  ClosePort();
  if (!OpenPort(PortName)) return 0;
  Session.DelayMs(DrainAfterResetMs);
  Session.DrainInput();
  Session.DelayMs(PacketAfterResetMs);
  if (!SendStream(Packet)) {
    ClosePort();
    return 0;
  }
  if (!ReceiveHandshake()) {
    Session.DiscardInput(FailedAnswerDrainMs);
    ClosePort();
    return 0;
  }
  if (FVersion == 0) {
    ClosePort();
    return 0;
  }
  return FVersion;
}
