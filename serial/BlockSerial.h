// TBlockSerial: one serial device with bounded, blocking operations and numbered errors.
// The class contract is the same on every platform; BlockSerial.cpp holds the portable logic
// and one file per platform (BlockSerialPosix.cpp, BlockSerialWin32.cpp) the device calls.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "serial/SerialPort.h"

// Line error flags, with the values of the Windows communications status (CE_*).
enum : uint32_t {
  LineErrRxOver = 0x01,
  LineErrOverrun = 0x02,
  LineErrRxParity = 0x04,
  LineErrFrame = 0x08,
  LineErrTxFull = 0x100,
};

// The line settings that Configure fills, shaped after the Windows DCB; each platform
// translates them into its own device-control record when they are applied.
struct TLineSettings {
  uint32_t Length = 0;
  uint32_t BaudRate = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  bool Binary = false;
  bool ParityCheck = false;
  bool OutX = false;  // XON/XOFF on output
  bool InX = false;   // XON/XOFF on input
  bool OutxCtsFlow = false;
  bool RtsHandshake = false;  // RTS follows the input queue (hardware flow control)
  bool RtsOn = false;         // RTS held on when there is no hardware flow control
  bool DtrDisabled = false;   // DTR not driven by the driver; only SetDtr moves it
  char XonChar = 0;
  char XoffChar = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
};

class TBlockSerial : public TSerialPort {
public:
  TBlockSerial();
  ~TBlockSerial() override;
  TBlockSerial(const TBlockSerial&) = delete;
  TBlockSerial& operator=(const TBlockSerial&) = delete;

  // Settings the owner may change at any time.
  // The input queue requested from the device at open; the XON/XOFF limits are a quarter.
  int32_t RecvQueueSize = 4096;
  // Milliseconds a device read, write or drain may stay pending before it is given up.
  int32_t DeadlockTimeout = 30000;

  // What the last open and the last operation left.
  const std::string& DeviceName() const { return FDeviceName; }
  int32_t ErrorCode() const { return FErrorCode; }
  const std::string& ErrorDesc() const { return FErrorDesc; }
  bool Active() const { return FActive; }
  int32_t PortNumber() const { return FPortNumber; }
  const TLineSettings& LineSettings() const { return FLineSettings; }

  void OpenDevice(const std::string& PortName);
  void Configure(int32_t Baud, int32_t DataBits, char Parity, int32_t StopBits, bool SoftFlow,
                 bool HardFlow);
  void FlushOutput();
  void PurgeBuffers();
  void SetDtr(bool On);
  void SetRts(bool On);
  void WriteByte(uint8_t Value);
  void WriteString(const std::string& Data);
  int32_t ReadBuffer(void* Dest, int32_t Length);
  uint8_t ReadByte(int32_t TimeoutMs);
  std::string ReadString(int32_t Length, int32_t TimeoutMs);
  int32_t QueuedInput();
  void CloseDevice();

  static std::string GetErrorDesc(int32_t Code);

  // The link's view of the port: the operations above, their outcome returned.
  TPortResult Open(const std::string& PortName) override;
  TPortResult Configure(uint32_t Baud, int32_t DeadlockMs) override;
  TPortResult SetLine(uint32_t Baud, int32_t StopBits) override;
  TPortResult SetModemLines(bool Dtr, bool Rts) override;
  void LeaveModemLines(bool Leave) override { FLeaveModemLines = Leave; }
  bool OpenRaisedModemLines() const override { return FOpenRaisedLines; }
  TPortResult Purge() override;
  TPortResult Write(std::string_view Bytes) override;
  TPortResult Read(std::string& Into, std::size_t Max, TPortTime Deadline) override;
  TPortResult QueueCounts(int32_t& Input, int32_t& Output) override;
  void Close() override { CloseDevice(); }
  bool IsOpen() const override { return FActive; }
  std::string ErrorText(int32_t Code) const override { return GetErrorDesc(Code); }
  TPortTime Now() override { return TPortClock::now(); }
  void WaitUntil(TPortTime Moment) override;

private:
  // The tests' view of the descriptor, the line buffer and the line error decoding.
  friend struct TBlockSerialTestSeam;

  using TDeadline = std::chrono::steady_clock::time_point;

  std::intptr_t FHandle = -1;  // the open device; -1 while closed
  std::string FDeviceName;
  int32_t FErrorCode = 0;
  std::string FErrorDesc = "OK";
  std::string FLineBuffer;  // bytes taken from the device but not yet returned to a caller
  bool FActive = false;
  int32_t FPortNumber = -1;
  TLineSettings FLineSettings;
  bool FLeaveModemLines = false;
  bool FOpenRaisedLines = false;

  // Error recording, shared by the portable and the platform code.
  void SetErrorCode(int32_t Code);
  int32_t CheckOsResult(std::intptr_t Value);
  int32_t WriteBuffer(const void* Data, int32_t Length);
  // Everything queued (or the bytes a string read left over), waiting up to TimeoutMs for any;
  // each later wait of ReadString is for its next chunk.
  std::string ReadPacket(int32_t TimeoutMs);
  int32_t ReadBlock(void* Dest, int32_t Length, int32_t TimeoutMs);
  bool PreCheck();
  void DecodeLineErrors(uint32_t Flags);
  void ApplyLineSettings();
  // The rate and stop bits of FLineSettings on the open device, read back: 0, ErrRateRefused
  // or the system's error number. Where the driver allows it, the device then hands over what
  // it receives at once (Linux's low latency).
  int32_t ApplyLineRate();

  static bool IsComName(const std::string& PortName);
  void ParsePortNumber(const std::string& PortName);
  int32_t FinishTransfer(int32_t Code, int32_t Count);
  TDeadline DeadlineAfter(int32_t Ms) const;
  int32_t DrainOutput();

  // Platform primitives (one implementation per platform file). Those returning int32_t
  // give 0, an OS error number, or ErrTimeout.
  static int32_t LastOsError();
  static std::string OsErrorText(int32_t Code);
  std::string DevicePathFor(const std::string& PortName) const;
  std::intptr_t OpenHandle(const std::string& Path);  // -1 with LastOsError set on failure
  void CloseHandle();
  int32_t DeviceWrite(const void* Data, int32_t Length, int32_t& Written);
  int32_t DeviceRead(void* Dest, int32_t Length, int32_t& Count);
  int32_t QueuedBytes(int32_t& Count);
  // How many bytes one read may ask for once the device is readable: a read that asks for more
  // than is there returns what is there on POSIX, and waits for the rest on Windows.
  int32_t ReadableBytes(int32_t& Count);
  int32_t DiscardQueues();
  int32_t QueuedOutput(int32_t& Count);  // bytes written that the device has still to send
  uint32_t TakeLineErrors();             // LineErr* flags raised since the last call
  bool WaitEvent(int32_t TimeoutMs);
  int32_t DriveModemLines(bool Dtr, bool Rts);  // ErrNoModemLines where the device has none

  // Drivers that report cumulative error counters: frame, overrun, parity, buffer overrun
  // as last seen, so that only new errors count.
  std::array<int32_t, 4> LineErrorBase{};
  // Cleared for a device without those counters (a pseudo-terminal), which is not asked again.
  bool CountsLineErrors = true;
  // Drivers whose status query clears the line error flags: those that the output queue's
  // polls took, kept for the next transfer to decode.
  uint32_t HeldLineErrors = 0;
};
