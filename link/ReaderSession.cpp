#include <cstdio>

#include "link/Crc16Modbus.h"
#include "link/LinkTexts.h"
#include "link/Propeller.h"
#include "link/ProtocolBytes.h"
#include "link/ProtocolTimes.h"

namespace {
constexpr uint8_t ReaderVersion = 0xDE;
// The reader takes one long after its handshake and ignores its value.
constexpr uint32_t ReaderCommand = 5;
constexpr std::size_t ClockRunBytes = 256;
// The answers are read in chunks of a quarter of the clocks kept ahead, so the line never runs
// dry while the host sleeps.
constexpr std::size_t AnswerGatherBytes = ClockRunBytes / 4;
// A run of clock bytes goes out before each long whose bits 0, 4 and 8 are all clear: all 64
// runs of a block of 512 longs are written while its first 256 longs are read. That keeps at
// least eight longs of clocks ahead of the reader and never more than 9024 bytes in flight.
constexpr std::size_t ClockRunRule = 0x111;
constexpr std::size_t LongsPerMark = 256;
constexpr uint32_t ReadKilobytes = ImageLongs / LongsPerMark;

std::string Hex4(uint16_t Value) {
  char Text[5];
  std::snprintf(Text, sizeof Text, "%04X", Value);
  return Text;
}
}  // namespace

bool TPropeller::ReadFromRunningReader() {
  const std::string Packet =
      EncodeHandshakeBits() + std::string(AnswerWindows, static_cast<char>(PollByte));
  SyncWithReader();
  Session.MarkNow();
  Session.DrainInput();
  if (!SendStream(Packet)) return AbortReadBack();
  if (!ReceiveHandshake()) {
    Session.DiscardInput(FailedAnswerDrainMs);
    ClosePort();
    return false;
  }
  if (FVersion != ReaderVersion) return AbortReadBack();
  Out << "Found loader" << std::endl;
  Session.EncodeLong(ReaderCommand);
  if (!SendStream(Session.FlushEncoder())) return AbortReadBack();
  uint16_t Received = 0;
  uint16_t Computed = 0;
  Session.GatherReads(AnswerGatherBytes);
  const bool ReadWhole = ReceiveEeprom(Received, Computed);
  Session.GatherReads(0);
  if (!ReadWhole) return AbortReadBack();
  ReportReadBack(Received, Computed);
  return Received == Computed;
}

void TPropeller::SyncWithReader() {
  // The reader answers once it has addressed the EEPROM and calibrated on the polls. However
  // the sync ends, the handshake that follows tells whether the reader is there.
  const TPollResult Result =
      PollForReply(SyncPolls, SyncWindowMs, TLinkStage::ReaderSync, PollReplyTimeoutMs);
  switch (Result.End) {
    case TPollEnd::Reply:
      if (Result.Bit == 1) FLastError = "Bogus data returned";
      Out << "Found sync at " << Result.Poll << std::endl;
      break;
    case TPollEnd::LineFailed: FLastError = CommunicationErrorText; break;
    case TPollEnd::TimedOut:
      FLastError = "Communication Timeout waiting for prop reader to boot";
      break;
    case TPollEnd::Exhausted: break;
  }
}

bool TPropeller::ReceiveEeprom(uint16_t& Received, uint16_t& Computed) {
  const std::string ClockRun(ClockRunBytes, static_cast<char>(PollByte));
  bool Sent = SendStream(ClockRun);
  Computed = Crc16ModbusInitial;
  for (std::size_t Index = 0; Index < ImageLongs; ++Index) {
    if ((Index & ClockRunRule) == 0) Sent = Sent && SendStream(ClockRun);
    if (Index % LongsPerMark == 0) {
      Notify({TLinkStage::EepromRead, static_cast<uint32_t>(Index / LongsPerMark), ReadKilobytes});
      Out << '.' << std::flush;
    }
    // A clock run that could not be sent ends the read-back where its answers were awaited.
    if (!Sent) return false;
    uint32_t Long = 0;
    for (int Byte = 0; Byte < 4; ++Byte) {
      uint8_t Value = 0;
      if (!ReceiveReplyByte(Value, ReaderDataReplyTimeoutMs)) return false;
      Long = (Long >> 8) | static_cast<uint32_t>(Value) << 24;
      Computed = Crc16ModbusUpdate(Computed, Value);
    }
    SetImageLong(Index, Long);
  }
  uint8_t Low = 0;
  uint8_t High = 0;
  if (!ReceiveReplyByte(Low, ReaderDataReplyTimeoutMs) ||
      !ReceiveReplyByte(High, ReaderDataReplyTimeoutMs))
    return false;
  Received = static_cast<uint16_t>(Low | High << 8);
  return true;
}

void TPropeller::ReportReadBack(uint16_t Received, uint16_t Computed) {
  Out << '\n'
      << "Read done\n"
      << (Received == Computed ? "CRC is good" : "CRC Mismatch") << '\n'
      << "CRC is " << Hex4(Received) << ' ' << Hex4(Computed) << std::endl;
}

bool TPropeller::AbortReadBack() {
  ClosePort();
  Out << "Aborted" << std::endl;
  return false;
}
