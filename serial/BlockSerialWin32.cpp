// TBlockSerial device calls on Windows (kernel32 communications functions, overlapped I/O).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <utility>

#include "serial/BlockSerial.h"

namespace {

HANDLE Device(std::intptr_t Handle) { return reinterpret_cast<HANDLE>(Handle); }

int32_t LastError() { return static_cast<int32_t>(::GetLastError()); }

DWORD Milliseconds(int32_t Ms) { return static_cast<DWORD>(Ms < 0 ? 0 : Ms); }

constexpr DWORD PurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD LineErrorFlags = CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_TXFULL;
static_assert(LineErrRxOver == CE_RXOVER && LineErrOverrun == CE_OVERRUN &&
              LineErrRxParity == CE_RXPARITY && LineErrFrame == CE_FRAME &&
              LineErrTxFull == CE_TXFULL);

// A read that returns at once with what is queued; no driver-level write time-out.
void PrepareDevice(HANDLE Port, int32_t RecvQueueSize) {
  ::SetCommMask(Port, 0);
  ::SetupComm(Port, static_cast<DWORD>(RecvQueueSize), 0);
  COMMTIMEOUTS Timeouts{};
  Timeouts.ReadIntervalTimeout = 65535;
  ::SetCommTimeouts(Port, &Timeouts);
}

DCB DeviceControlBlock(const TLineSettings& Line) {
  DCB Control{};
  Control.DCBlength = sizeof(DCB);
  Control.BaudRate = Line.BaudRate;
  Control.ByteSize = Line.ByteSize;
  Control.Parity = Line.Parity;
  Control.StopBits = Line.StopBits;
  Control.fBinary = Line.Binary;
  Control.fParity = Line.ParityCheck;
  Control.fOutX = Line.OutX;
  Control.fInX = Line.InX;
  Control.fOutxCtsFlow = Line.OutxCtsFlow;
  Control.fDtrControl = Line.DtrDisabled ? DTR_CONTROL_DISABLE : DTR_CONTROL_ENABLE;
  Control.fRtsControl = Line.RtsHandshake ? RTS_CONTROL_HANDSHAKE
                        : Line.RtsOn      ? RTS_CONTROL_ENABLE
                                          : RTS_CONTROL_DISABLE;
  Control.XonChar = Line.XonChar;
  Control.XoffChar = Line.XoffChar;
  Control.XonLim = Line.XonLim;
  Control.XoffLim = Line.XoffLim;
  return Control;
}

// The DTR and RTS control the driver has now, so that applying Control moves neither line.
void KeepDriverLineControl(HANDLE Port, DCB& Control) {
  DCB Current{};
  Current.DCBlength = sizeof(DCB);
  if (!::GetCommState(Port, &Current)) return;
  Control.fDtrControl = Current.fDtrControl;
  Control.fRtsControl = Current.fRtsControl;
}

// Finishes an overlapped read or write started with Started (its outcome) on a record without
// an event, so the device handle signals its completion. A transfer still pending after
// TimeoutMs is aborted with Abort and gives ErrTimeout; Count receives what was transferred.
int32_t FinishOverlapped(HANDLE Port, OVERLAPPED& Overlapped, BOOL Started, DWORD TimeoutMs,
                         DWORD Abort, int32_t& Count) {
  int32_t Code = Started ? 0 : LastError();
  if (Code == ERROR_IO_PENDING) {
    const DWORD Wait = ::WaitForSingleObject(Port, TimeoutMs);
    Code = Wait == WAIT_OBJECT_0 ? 0 : Wait == WAIT_TIMEOUT ? ErrTimeout : LastError();
    if (Code != 0) ::PurgeComm(Port, Abort);
  } else if (Code != 0) {
    return Code;
  }
  DWORD Transferred = 0;
  if (!::GetOverlappedResult(Port, &Overlapped, &Transferred, FALSE)) {
    if (::GetLastError() != ERROR_IO_INCOMPLETE) {
      if (Code == 0) Code = LastError();
    } else {
      // The abort has not ended the transfer yet (Wine's purge only empties the queues), and
      // the record must outlive it: cancel it and wait for its end.
      ::CancelIoEx(Port, &Overlapped);
      ::GetOverlappedResult(Port, &Overlapped, &Transferred, TRUE);
    }
  }
  Count = static_cast<int32_t>(Transferred);
  return Code;
}

// The event object and character-received mask of one WaitEvent, released on every exit.
class TCommEventWait {
public:
  explicit TCommEventWait(HANDLE Port)
      : Port(Port), Event(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~TCommEventWait() {
    ::SetCommMask(Port, 0);
    if (Event) ::CloseHandle(Event);
  }
  TCommEventWait(const TCommEventWait&) = delete;
  TCommEventWait& operator=(const TCommEventWait&) = delete;

  bool Ready() const { return Event != nullptr; }

  // Waits up to TimeoutMs for a character-received event: 0 when one came or the time ran out
  // (Received tells which), or the error of a wait that failed. Clearing the mask ends a pending
  // wait: Windows then completes it without events, Wine with ERROR_OPERATION_ABORTED. Wine
  // also completes a wait whose modem status query failed (an adapter pulled out) with
  // ERROR_OPERATION_ABORTED, so a wait that ends unsuccessfully counts as cancelled only when
  // the mask was cleared here.
  int32_t AwaitCharacter(DWORD TimeoutMs, bool& Received) {
    OVERLAPPED Overlapped{};
    Overlapped.hEvent = Event;
    DWORD Events = 0;
    Received = false;
    if (!::WaitCommEvent(Port, &Events, &Overlapped)) {
      if (::GetLastError() != ERROR_IO_PENDING) return LastError();
      const bool Completed = ::WaitForSingleObject(Event, TimeoutMs) == WAIT_OBJECT_0;
      ::SetCommMask(Port, 0);
      DWORD Unused = 0;
      if (!::GetOverlappedResult(Port, &Overlapped, &Unused, TRUE))
        return Completed ? LastError() : 0;
    }
    Received = (Events & EV_RXCHAR) != 0;
    return 0;
  }

private:
  HANDLE Port;
  HANDLE Event;
};

}  // namespace

int32_t TBlockSerial::LastOsError() { return LastError(); }

std::string TBlockSerial::OsErrorText(int32_t Code) {
  char Text[255] = {};
  const DWORD Length = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(Code),
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), Text, sizeof Text, nullptr);
  // System texts end with a line end of their own; the message carrying them gets one anyway.
  const std::string Message(Text, Length);
  return Message.substr(0, Message.find_last_not_of("\r\n ") + 1);
}

std::string TBlockSerial::DevicePathFor(const std::string& PortName) const {
  if (FPortNumber != -1) return "\\\\.\\COM" + std::to_string(FPortNumber + 1);
  return PortName;
}

std::intptr_t TBlockSerial::OpenHandle(const std::string& Path) {
  ::SetLastError(0);
  const HANDLE Port =
      ::CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (Port == INVALID_HANDLE_VALUE) return -1;
  PrepareDevice(Port, RecvQueueSize);
  FOpenRaisedLines = true;  // the drivers drop DTR as a port closes and raise it as it opens
  return reinterpret_cast<std::intptr_t>(Port);
}

void TBlockSerial::CloseHandle() { ::CloseHandle(Device(FHandle)); }

void TBlockSerial::ApplyLineSettings() {
  SetErrorCode(0);
  DCB Control = DeviceControlBlock(FLineSettings);
  if (FLeaveModemLines) KeepDriverLineControl(Device(FHandle), Control);
  if (!::SetCommState(Device(FHandle), &Control)) CheckOsResult(-1);
}

// The driver takes a DCB with a rate it cannot make, or makes another: both are a refusal.
int32_t TBlockSerial::ApplyLineRate() {
  DCB Control{};
  Control.DCBlength = sizeof(DCB);
  if (!::GetCommState(Device(FHandle), &Control)) return LastError();
  Control.BaudRate = FLineSettings.BaudRate;
  Control.StopBits = FLineSettings.StopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  if (!::SetCommState(Device(FHandle), &Control)) {
    const int32_t Code = LastError();
    return Code == ERROR_INVALID_PARAMETER ? ErrRateRefused : Code;
  }
  DCB Taken{};
  Taken.DCBlength = sizeof(DCB);
  if (!::GetCommState(Device(FHandle), &Taken)) return LastError();
  return Taken.BaudRate == FLineSettings.BaudRate ? 0 : ErrRateRefused;
}

void TBlockSerial::SetDtr(bool On) { ::EscapeCommFunction(Device(FHandle), On ? SETDTR : CLRDTR); }

void TBlockSerial::SetRts(bool On) { ::EscapeCommFunction(Device(FHandle), On ? SETRTS : CLRRTS); }

int32_t TBlockSerial::DriveModemLines(bool Dtr, bool Rts) {
  if (!::EscapeCommFunction(Device(FHandle), Dtr ? SETDTR : CLRDTR)) return LastError();
  return ::EscapeCommFunction(Device(FHandle), Rts ? SETRTS : CLRRTS) ? 0 : LastError();
}

int32_t TBlockSerial::DeviceWrite(const void* Data, int32_t Length, int32_t& Written) {
  OVERLAPPED Overlapped{};
  const BOOL Started =
      ::WriteFile(Device(FHandle), Data, static_cast<DWORD>(Length), nullptr, &Overlapped);
  return FinishOverlapped(Device(FHandle), Overlapped, Started, Milliseconds(DeadlockTimeout),
                          PURGE_TXABORT, Written);
}

int32_t TBlockSerial::DeviceRead(void* Dest, int32_t Length, int32_t& Count) {
  OVERLAPPED Overlapped{};
  const BOOL Started =
      ::ReadFile(Device(FHandle), Dest, static_cast<DWORD>(Length), nullptr, &Overlapped);
  return FinishOverlapped(Device(FHandle), Overlapped, Started, Milliseconds(DeadlockTimeout),
                          PURGE_RXABORT, Count);
}

int32_t TBlockSerial::QueuedBytes(int32_t& Count) {
  DWORD Errors = 0;
  COMSTAT Status{};
  if (!::ClearCommError(Device(FHandle), &Errors, &Status)) return LastError();
  Count = static_cast<int32_t>(Status.cbInQue);
  return 0;
}

int32_t TBlockSerial::ReadableBytes(int32_t& Count) { return QueuedBytes(Count); }

int32_t TBlockSerial::DiscardQueues() {
  return ::PurgeComm(Device(FHandle), PurgeAll) ? 0 : LastError();
}

// The drain polls this rather than calling FlushFileBuffers, which waits until the driver has
// sent every byte with no time limit, so a stuck adapter would hold it forever. Ending that
// wait from a helper thread with CancelSynchronousIo works only when the driver cancels its
// flush request, which a stuck driver is the least likely to do, and would leave the thread
// and the handle in use behind. ClearCommError is answered at once from the driver's
// counters, and its output count holds the bytes of every write not yet sent. It also clears
// the line error flags, which are held for the next transfer.
int32_t TBlockSerial::QueuedOutput(int32_t& Count) {
  DWORD Errors = 0;
  COMSTAT Status{};
  if (!::ClearCommError(Device(FHandle), &Errors, &Status)) return LastError();
  HeldLineErrors |= Errors & LineErrorFlags;
  Count = static_cast<int32_t>(Status.cbOutQue);
  return 0;
}

uint32_t TBlockSerial::TakeLineErrors() {
  DWORD Errors = 0;
  const uint32_t Held = std::exchange(HeldLineErrors, 0);
  if (!::ClearCommError(Device(FHandle), &Errors, nullptr)) return Held;
  return Held | (Errors & LineErrorFlags);
}

// Silence is the caller's to report as a time-out; a wait that failed is recorded here, or a
// port whose adapter was pulled would read as a quiet one.
bool TBlockSerial::WaitEvent(int32_t TimeoutMs) {
  TCommEventWait Wait(Device(FHandle));
  if (!Wait.Ready()) {
    SetErrorCode(LastError());
    return false;
  }
  ::SetCommMask(Device(FHandle), EV_RXCHAR);
  SetErrorCode(0);
  if (QueuedInput() > 0) return true;
  if (FErrorCode != 0) return false;
  bool Received = false;
  SetErrorCode(Wait.AwaitCharacter(Milliseconds(TimeoutMs), Received));
  return Received;
}
