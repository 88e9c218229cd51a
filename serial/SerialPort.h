// TSerialPort: what the link needs of a serial port and of the clock it keeps time by. Every
// operation returns its outcome; none throws. TBlockSerial is the device on each platform;
// tests put a scripted line on a virtual clock behind it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Error codes of the port itself; any other value is an operating system error number.
enum : int32_t {
  ErrAlreadyOwned = 9992,
  ErrPortNotOpen = 9994,
  ErrTimeout = 9997,
  ErrFrame = 9999,
  ErrOverrun = 10000,
  ErrRxOver = 10001,
  ErrRxParity = 10002,
  ErrTxFull = 10003,
  // The device has no modem lines to set (a pseudo-terminal): nothing was refused.
  ErrNoModemLines = 10004,
  // The adapter does not take the rate asked for, or reads back another one.
  ErrRateRefused = 10005,
};

using TPortClock = std::chrono::steady_clock;
using TPortTime = TPortClock::time_point;

struct TPortResult {
  int32_t Code = 0;  // 0, one of the codes above, or the system's error number

  bool Ok() const { return Code == 0; }
  bool TimedOut() const { return Code == ErrTimeout; }
  // A line error spoils bytes on the line; the device itself still works.
  bool LineError() const { return Code >= ErrFrame && Code <= ErrTxFull; }
};

class TSerialPort {
public:
  virtual ~TSerialPort() = default;

  // Opens the device exclusively and empties both of its queues.
  virtual TPortResult Open(const std::string& PortName) = 0;
  // 8 data bits, no parity, one stop bit, no flow control, at Baud; DTR off and RTS on (unless the
  // lines are left). A device read or write that stays pending for DeadlockMs is given up.
  virtual TPortResult Configure(uint32_t Baud, int32_t DeadlockMs) = 0;
  // Another rate and count of stop bits (1 or 2) on the open port, the rest as Configure left
  // it and the modem lines untouched; ErrRateRefused when the adapter will not run at Baud, and
  // then the line stays as it was.
  virtual TPortResult SetLine(uint32_t Baud, int32_t StopBits) = 0;
  virtual TPortResult SetModemLines(bool Dtr, bool Rts) = 0;
  // While Leave is true, Configure and Close leave DTR and RTS as they are, and a close never
  // hangs up: for a terminal on a chip that must not be reset, or a load whose program is to
  // keep running for one. A port without modem lines has nothing to leave. An open and a close
  // then keep what the device has queued, which belongs to the running program.
  virtual void LeaveModemLines(bool Leave) { (void)Leave; }
  // True when the last open itself turned DTR and RTS on where the previous close had turned
  // them off: the system raises both at every open, so a board whose DTR was off was reset.
  virtual bool OpenRaisedModemLines() const { return false; }
  virtual TPortResult Purge() = 0;
  // Hands every byte to the device.
  virtual TPortResult Write(std::string_view Bytes) = 0;
  // Appends to Into what has arrived, at most Max bytes, as soon as there is any; ErrTimeout
  // when nothing came by Deadline. A device that fails is a failure, never a time-out.
  virtual TPortResult Read(std::string& Into, std::size_t Max, TPortTime Deadline) = 0;
  // Bytes received and not yet read, and bytes written and not yet sent.
  virtual TPortResult QueueCounts(int32_t& Input, int32_t& Output) = 0;
  // Closing never fails: whatever the device reports then is moot.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The text of a code this port returned.
  virtual std::string ErrorText(int32_t Code) const = 0;

  // The clock of every deadline above.
  virtual TPortTime Now() = 0;
  virtual void WaitUntil(TPortTime Moment) = 0;
};
