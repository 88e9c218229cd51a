// Portable part of TBlockSerial: error recording, port names, and the buffered reads and
// writes built on the platform primitives.
#include "serial/BlockSerial.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>

#include "serial/OutputDrain.h"

namespace {

const char* TableText(int32_t Code) {
  switch (Code) {
    case 0: return "OK";
    case ErrAlreadyOwned: return "Instance already in use";
    case ErrPortNotOpen: return "Instance not yet connected";
    case ErrTimeout: return "Timeout during operation";
    case ErrFrame: return "Receive framing error";
    case ErrOverrun: return "Receive Overrun Error";
    case ErrRxOver: return "Receive Queue overflow";
    case ErrRxParity: return "Receive Parity Error";
    case ErrTxFull: return "Tranceive Queue is full";
    case ErrNoModemLines: return "The device has no modem lines";
    case ErrRateRefused: return "The adapter does not take this rate";
    default: return nullptr;
  }
}

std::string UpperAscii(std::string Text) {
  for (char& Ch : Text)
    if (Ch >= 'a' && Ch <= 'z') Ch = static_cast<char>(Ch - 'a' + 'A');
  return Text;
}

// An optional sign and decimal digits, within 32 bits.
bool ReadSignedDecimal(const std::string& Text, int32_t& Value) {
  std::size_t Pos = (!Text.empty() && (Text[0] == '-' || Text[0] == '+')) ? 1 : 0;
  if (Pos == Text.size()) return false;
  int64_t Magnitude = 0;
  for (; Pos < Text.size(); ++Pos) {
    if (Text[Pos] < '0' || Text[Pos] > '9') return false;
    Magnitude = Magnitude * 10 + (Text[Pos] - '0');
    if (Magnitude > int64_t{1} << 31) return false;
  }
  const int64_t Signed = Text[0] == '-' ? -Magnitude : Magnitude;
  if (Signed > std::numeric_limits<int32_t>::max()) return false;
  Value = static_cast<int32_t>(Signed);
  return true;
}

uint8_t ParityCode(char Parity) {
  switch (Parity) {
    case 'O':
    case 'o': return 1;
    case 'E':
    case 'e': return 2;
    case 'M':
    case 'm': return 3;
    case 'S':
    case 's': return 4;
    default: return 0;
  }
}

}  // namespace

TBlockSerial::TBlockSerial() { SetErrorCode(0); }

TBlockSerial::~TBlockSerial() { CloseDevice(); }

std::string TBlockSerial::GetErrorDesc(int32_t Code) {
  const char* Text = TableText(Code);
  return Text ? Text : OsErrorText(Code);
}

void TBlockSerial::SetErrorCode(int32_t Code) {
  FErrorCode = Code;
  FErrorDesc = GetErrorDesc(Code);
}

int32_t TBlockSerial::CheckOsResult(std::intptr_t Value) {
  SetErrorCode(Value == -1 ? LastOsError() : 0);
  return FErrorCode;
}

bool TBlockSerial::PreCheck() {
  if (FActive) return true;
  SetErrorCode(ErrPortNotOpen);
  return false;
}

void TBlockSerial::DecodeLineErrors(uint32_t Flags) {
  // Checked in this order; with several flags the last one wins.
  static constexpr std::pair<uint32_t, int32_t> Order[] = {
      {LineErrFrame, ErrFrame},       {LineErrOverrun, ErrOverrun}, {LineErrRxOver, ErrRxOver},
      {LineErrRxParity, ErrRxParity}, {LineErrTxFull, ErrTxFull},
  };
  for (const auto& [Flag, Code] : Order)
    if (Flags & Flag) SetErrorCode(Code);
}

bool TBlockSerial::IsComName(const std::string& PortName) {
  return UpperAscii(PortName.substr(0, 3)) == "COM";
}

void TBlockSerial::ParsePortNumber(const std::string& PortName) {
  int32_t Number = 0;
  FPortNumber = -1;
  if (IsComName(PortName)) {
    const bool IsNumber = ReadSignedDecimal(PortName.substr(3), Number);
    if (IsNumber && Number > std::numeric_limits<int32_t>::min()) FPortNumber = Number - 1;
  } else if (UpperAscii(PortName.substr(0, 9)) == "/DEV/TTYS") {
    FPortNumber = ReadSignedDecimal(PortName.substr(9), Number) ? Number : -2;
  }
  FDeviceName = DevicePathFor(PortName);
}

TBlockSerial::TDeadline TBlockSerial::DeadlineAfter(int32_t Ms) const {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(Ms, 0));
}

void TBlockSerial::OpenDevice(const std::string& PortName) {
  if (FActive) {
    SetErrorCode(ErrAlreadyOwned);
    return;
  }
  FLineBuffer.clear();
  ParsePortNumber(PortName);
  FHandle = OpenHandle(FDeviceName);
  CheckOsResult(FHandle);
  if (FErrorCode != 0) return;
  SetErrorCode(0);
  FActive = true;
  CountsLineErrors = true;
  TakeLineErrors();  // errors counted before this open are not ours
  if (!FLeaveModemLines) PurgeBuffers();
}

void TBlockSerial::Configure(int32_t Baud, int32_t DataBits, char Parity, int32_t StopBits,
                             bool SoftFlow, bool HardFlow) {
  FLineSettings = TLineSettings{};
  FLineSettings.Length = sizeof(TLineSettings);
  FLineSettings.BaudRate = static_cast<uint32_t>(Baud);
  FLineSettings.ByteSize = static_cast<uint8_t>(DataBits);
  FLineSettings.StopBits = static_cast<uint8_t>(StopBits);
  FLineSettings.Parity = ParityCode(Parity);
  FLineSettings.XonChar = 0x11;
  FLineSettings.XoffChar = 0x13;
  FLineSettings.XonLim = static_cast<uint16_t>(RecvQueueSize / 4);
  FLineSettings.XoffLim = static_cast<uint16_t>(RecvQueueSize / 4);
  FLineSettings.Binary = true;
  FLineSettings.OutX = SoftFlow;
  FLineSettings.InX = SoftFlow;
  FLineSettings.OutxCtsFlow = HardFlow;
  FLineSettings.RtsHandshake = HardFlow;
  FLineSettings.RtsOn = !HardFlow;
  FLineSettings.DtrDisabled = true;
  FLineSettings.ParityCheck = FLineSettings.Parity != 0;
  ApplyLineSettings();
}

// A start bit and the stop bits are counted (one and a half stop bits as two).
int32_t TBlockSerial::DrainOutput() {
  const uint32_t FrameBits = 1u + FLineSettings.ByteSize + (FLineSettings.Parity ? 1u : 0u) +
                             (FLineSettings.StopBits ? 2u : 1u);
  return ::DrainOutput(*this, DeadlockTimeout, FLineSettings.BaudRate, FrameBits).Code;
}

void TBlockSerial::FlushOutput() { SetErrorCode(DrainOutput()); }

void TBlockSerial::PurgeBuffers() {
  SetErrorCode(DiscardQueues());
  FLineBuffer.clear();
}

int32_t TBlockSerial::FinishTransfer(int32_t Code, int32_t Count) {
  SetErrorCode(Code);
  DecodeLineErrors(TakeLineErrors());
  return Count;
}

int32_t TBlockSerial::WriteBuffer(const void* Data, int32_t Length) {
  if (!PreCheck()) return 0;
  int32_t Written = 0;
  const int32_t Code = DeviceWrite(Data, Length, Written);
  return FinishTransfer(Code, Written);
}

void TBlockSerial::WriteByte(uint8_t Value) { WriteBuffer(&Value, 1); }

void TBlockSerial::WriteString(const std::string& Data) {
  WriteBuffer(Data.data(), static_cast<int32_t>(Data.size()));
}

int32_t TBlockSerial::ReadBuffer(void* Dest, int32_t Length) {
  if (!PreCheck()) return 0;
  int32_t Count = 0;
  const int32_t Code = DeviceRead(Dest, Length, Count);
  return FinishTransfer(Code, Count);
}

int32_t TBlockSerial::QueuedInput() {
  int32_t Count = 0;
  SetErrorCode(QueuedBytes(Count));
  TakeLineErrors();  // the status query clears the flags; they are not decoded here
  return FErrorCode == 0 ? Count : 0;
}

// One wait and one read: a reader that keeps up with a stream wakes once for each chunk.
std::string TBlockSerial::ReadPacket(int32_t TimeoutMs) {
  if (!PreCheck()) return {};
  SetErrorCode(0);
  if (!FLineBuffer.empty()) return std::exchange(FLineBuffer, {});
  // A caller polling in a loop without a time-out must not monopolise the processor.
  if (TimeoutMs <= 0) std::this_thread::yield();
  int32_t Readable = 0;
  if (WaitEvent(TimeoutMs)) SetErrorCode(ReadableBytes(Readable));
  if (Readable == 0 && FErrorCode == 0) SetErrorCode(ErrTimeout);
  std::string Packet;
  if (Readable > 0 && FErrorCode == 0) {
    Packet.resize(static_cast<std::size_t>(Readable));
    Packet.resize(static_cast<std::size_t>(ReadBuffer(Packet.data(), Readable)));
  }
  return Packet;
}

uint8_t TBlockSerial::ReadByte(int32_t TimeoutMs) {
  if (!PreCheck()) return 0;
  SetErrorCode(0);
  if (FLineBuffer.empty()) FLineBuffer = ReadPacket(TimeoutMs);
  uint8_t Value = 0;
  if (FErrorCode == 0 && !FLineBuffer.empty()) {
    Value = static_cast<uint8_t>(FLineBuffer[0]);
    FLineBuffer.erase(0, 1);
  }
  return Value;
}

int32_t TBlockSerial::ReadBlock(void* Dest, int32_t Length, int32_t TimeoutMs) {
  if (!PreCheck()) return 0;
  SetErrorCode(0);
  int32_t Got = 0;
  while (FErrorCode == 0 && Got < Length) {
    const std::string Chunk = ReadPacket(TimeoutMs);
    const auto Take = std::min(Chunk.size(), static_cast<std::size_t>(Length - Got));
    std::memcpy(static_cast<char*>(Dest) + Got, Chunk.data(), Take);
    Got += static_cast<int32_t>(Take);
    FLineBuffer.assign(Chunk, Take);  // surplus bytes wait for the next read
  }
  return Got;
}

std::string TBlockSerial::ReadString(int32_t Length, int32_t TimeoutMs) {
  if (!PreCheck()) return {};
  SetErrorCode(0);
  std::string Result;
  if (Length > 0) {
    Result.resize(static_cast<std::size_t>(Length));
    Result.resize(static_cast<std::size_t>(ReadBlock(Result.data(), Length, TimeoutMs)));
    if (FErrorCode != 0) Result.clear();
  }
  return Result;
}

void TBlockSerial::CloseDevice() {
  if (FHandle != -1) {
    // Closing never fails: a vanished device must not stop the release. Left lines leave what
    // the running program sent for whoever opens the port next.
    if (!FLeaveModemLines) {
      DiscardQueues();
      SetRts(false);
    }
    FLineBuffer.clear();
    CloseHandle();
  }
  FActive = false;
  FHandle = -1;
  FPortNumber = -1;
  SetErrorCode(0);
}

TPortResult TBlockSerial::Open(const std::string& PortName) {
  OpenDevice(PortName);
  return {FErrorCode};
}

TPortResult TBlockSerial::Configure(uint32_t Baud, int32_t DeadlockMs) {
  DeadlockTimeout = DeadlockMs;
  Configure(static_cast<int32_t>(Baud), 8, 'N', 0, false, false);
  return {FErrorCode};
}

TPortResult TBlockSerial::SetLine(uint32_t Baud, int32_t StopBits) {
  if (!FActive) return {ErrPortNotOpen};
  const TLineSettings Before = FLineSettings;
  FLineSettings.BaudRate = Baud;
  FLineSettings.StopBits = StopBits == 2 ? 2 : 0;
  const int32_t Code = ApplyLineRate();
  if (Code != 0) {
    FLineSettings = Before;
    ApplyLineRate();
  }
  SetErrorCode(Code);
  return {Code};
}

TPortResult TBlockSerial::SetModemLines(bool Dtr, bool Rts) {
  if (!FActive) return {ErrPortNotOpen};
  return {DriveModemLines(Dtr, Rts)};
}

TPortResult TBlockSerial::Purge() {
  if (!FActive) return {ErrPortNotOpen};
  PurgeBuffers();
  return {FErrorCode};
}

TPortResult TBlockSerial::Write(std::string_view Bytes) {
  WriteBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size()));
  return {FErrorCode};
}

TPortResult TBlockSerial::Read(std::string& Into, std::size_t Max, TPortTime Deadline) {
  const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - Now()).count();
  const std::string Packet =
      ReadPacket(static_cast<int32_t>(std::clamp<int64_t>(Left, 0, INT32_MAX)));
  const std::size_t Taken = std::min(Packet.size(), Max);
  Into.append(Packet, 0, Taken);
  FLineBuffer.assign(Packet, Taken);  // the rest waits for the next read
  return {FErrorCode};
}

TPortResult TBlockSerial::QueueCounts(int32_t& Input, int32_t& Output) {
  if (!FActive) return {ErrPortNotOpen};
  Input = 0;
  Output = 0;
  // The output count first: on Windows its query keeps the line errors for the next transfer.
  if (const int32_t Code = QueuedOutput(Output)) return {Code};
  return {QueuedBytes(Input)};
}

// A sleep can end before its moment where the system's timer is coarse (Windows counts whole
// milliseconds): the reset pulse would come out short, so the wait sleeps again until it is over.
void TBlockSerial::WaitUntil(TPortTime Moment) {
  while (TPortClock::now() < Moment) std::this_thread::sleep_until(Moment);
}
