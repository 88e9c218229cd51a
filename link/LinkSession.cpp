#include "link/LinkSession.h"

#include "link/ProtocolTimes.h"
#include "serial/OutputDrain.h"

namespace {
constexpr std::size_t DrainBlockBytes = 1024;
// A read takes what has arrived, up to this much.
constexpr std::size_t ReadChunkBytes = 65536;
// 8N1: a start bit, eight data bits and a stop bit.
constexpr uint32_t FrameBits = 10;
constexpr uint32_t HighestStandardBaud = 115200;
}  // namespace

TLinkSession::TLinkSession(std::unique_ptr<TSerialPort> Port) : Port(std::move(Port)) {}

TLinkSession::~TLinkSession() { Close(); }

TPortResult TLinkSession::Open(const std::string& Name, uint32_t LineBaud) {
  return Start(Name, LineBaud, true);
}

TPortResult TLinkSession::Attach(const std::string& Name, uint32_t LineBaud) {
  return Start(Name, LineBaud, false);
}

TPortResult TLinkSession::Start(const std::string& Name, uint32_t LineBaud, bool Reset) {
  if (Port->IsOpen()) return {ErrAlreadyOwned};
  Baud = LineBaud;
  Port->LeaveModemLines(!Reset);
  if (const TPortResult Result = SetUp(Name); !Result.Ok()) {
    Port->Close();
    return Result;
  }
  if (Reset) {
    PulseReset();
    Port->LeaveModemLines(HoldLine);
  }
  HighSpeed = Baud > HighestStandardBaud;
  return {};
}

TPortResult TLinkSession::SetLine(uint32_t LineBaud, int32_t StopBits) {
  const TPortResult Result = Port->SetLine(LineBaud, StopBits);
  if (Result.Ok()) Baud = LineBaud;
  return Result;
}

TPortResult TLinkSession::SetUp(const std::string& Name) {
  PortName = Name;
  ForgetReceived();
  FReadFailed = false;
  MarkNow();
  TPortResult Result = Port->Open(PortName);
  if (Result.Ok()) Result = Port->Configure(Baud, DeadlockTimeoutMs);
  if (Result.Ok()) Result = DrainOutput();
  return Result;
}

// The chip is held in reset while the line is on; the end of the pulse is the reference of
// every later DelayMs.
void TLinkSession::PulseReset() {
  FResetRefusal = {};
  DriveLines(false);
  DriveLines(true);
  MarkNow();
  DelayMs(ResetPulseMs);
  if (!HoldLine) DriveLines(false);
  MarkNow();
  if (WireTrace)
    WireTrace->Event(PortName, std::chrono::microseconds(0),
                     std::string("reset on ") + Reset->Name() + (HoldLine ? ", line held on" : ""));
}

void TLinkSession::DriveLines(bool Active) {
  const TPortResult Result = Port->SetModemLines(Reset->Dtr(Active), Reset->Rts(Active));
  if (!Result.Ok() && Result.Code != ErrNoModemLines && FResetRefusal.Ok()) FResetRefusal = Result;
}

void TLinkSession::TraceBytes(TWireTrace::TDirection Direction, std::string_view Bytes) {
  if (WireTrace && !Bytes.empty())
    WireTrace->Bytes(PortName,
                     std::chrono::duration_cast<std::chrono::microseconds>(Now() - ResetMark),
                     Direction, Bytes);
}

void TLinkSession::Close() {
  Port->Close();
  ForgetReceived();
}

void TLinkSession::ForgetReceived() {
  Received.clear();
  ReceivedAt = 0;
}

void TLinkSession::DelayMs(uint16_t Ms) {
  const TPortTime Moment = ResetMark + std::chrono::milliseconds(Ms);
  if (Now() < Moment) Port->WaitUntil(Moment);
}

void TLinkSession::DrainInput() {
  ForgetReceived();
  const TPortTime Limit = Now() + std::chrono::milliseconds(DrainLimitMs);
  std::string Junk;
  while (Port->Read(Junk, DrainBlockBytes, Now() + std::chrono::milliseconds(DrainReadTimeoutMs))
             .Ok() &&
         Now() < Limit) {
    TraceBytes(TWireTrace::TDirection::Received, Junk);
    Junk.clear();
  }
  TraceBytes(TWireTrace::TDirection::Received, Junk);
}

void TLinkSession::DiscardInput(int32_t TimeoutMs) {
  ForgetReceived();
  std::string Junk;
  while (Junk.size() < DrainBlockBytes && Port->Read(Junk, DrainBlockBytes - Junk.size(),
                                                     Now() + std::chrono::milliseconds(TimeoutMs))
                                              .Ok()) {
  }
  TraceBytes(TWireTrace::TDirection::Received, Junk);
}

TPortResult TLinkSession::Send(std::string_view Bytes) {
  TraceBytes(TWireTrace::TDirection::Sent, Bytes);
  return Port->Write(Bytes);
}

TPortResult TLinkSession::DrainOutput() {
  return ::DrainOutput(*Port, DeadlockTimeoutMs, Baud, FrameBits);
}

TPortResult TLinkSession::ReceiveAny(std::string& Into, int32_t TimeoutMs) {
  if (ReceivedAt < Received.size()) {
    Into.append(Received, ReceivedAt);
    ForgetReceived();
    return {};
  }
  const TPortResult Result =
      Port->Read(Into, ReadChunkBytes, Now() + std::chrono::milliseconds(TimeoutMs));
  if (!Result.Ok()) FReadFailed = FReadFailed || !(Result.TimedOut() || Result.LineError());
  return Result;
}

TPortResult TLinkSession::ReceiveByte(uint8_t& Byte, int32_t TimeoutMs) {
  if (ReceivedAt == Received.size()) {
    ForgetReceived();
    if (GatherBytes > 0) {
      const auto Due = std::chrono::microseconds(GatherBytes * FrameBits * 1'000'000 / Baud);
      if (Now() < LastReadAt + Due) Port->WaitUntil(LastReadAt + Due);
    }
    const TPortResult Result =
        Port->Read(Received, ReadChunkBytes, Now() + std::chrono::milliseconds(TimeoutMs));
    LastReadAt = Now();
    TraceBytes(TWireTrace::TDirection::Received, Received);
    if (!Result.Ok()) {
      FReadFailed = FReadFailed || !(Result.TimedOut() || Result.LineError());
      return Result;
    }
  }
  Byte = static_cast<uint8_t>(Received[ReceivedAt++]);
  return {};
}
