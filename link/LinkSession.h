// TLinkSession: one conversation with a chip over one port. It owns the port and its clock, the
// reset that starts the conversation and the moment it ended, the stream encoder at the line's
// rate, and the bytes received but not yet taken. Nothing of it is shared with another
// session, so several can talk to several chips at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "link/ResetMethod.h"
#include "link/StreamEncoder.h"
#include "link/WireTrace.h"
#include "serial/SerialPort.h"

class TLinkSession {
public:
  explicit TLinkSession(std::unique_ptr<TSerialPort> Port);
  ~TLinkSession();
  TLinkSession(const TLinkSession&) = delete;
  TLinkSession& operator=(const TLinkSession&) = delete;

  // Opens PortName at Baud and resets the chip with a pulse on the reset method's line. A port
  // that cannot be opened or set up is closed again and the reason returned; a reset the adapter
  // refuses does not stop the conversation (a chip that was not reset does not answer) and is
  // kept in ResetRefusal.
  TPortResult Open(const std::string& PortName, uint32_t Baud);
  // Opens PortName at Baud without a reset, leaving DTR and RTS as they are and what the device
  // had queued, to talk to the program that runs on the chip; the moment of the open stands for
  // the reset mark.
  TPortResult Attach(const std::string& PortName, uint32_t Baud);
  // True when the open raised DTR where it was off before (see TSerialPort).
  bool OpenRaisedModemLines() const { return Port->OpenRaisedModemLines(); }
  // From now on DTR and RTS stay as they are, through a new rate and the close.
  void LeaveModemLines() { Port->LeaveModemLines(true); }
  // The line whose pulse resets the chip; DTR unless chosen otherwise.
  void SetResetMethod(const TResetMethod& Method) { Reset = &Method; }
  const TResetMethod& ResetMethod() const { return *Reset; }
  // With Hold, the reset line is turned on and stays on (the reset mark comes as long after as
  // the pulse would end), and the close leaves DTR and RTS as they are. Opening a port turns
  // DTR and RTS on (Linux, macOS), which resets a board whose line was off; after a held reset
  // it finds the line on already, so a terminal opened later talks to the running program. The
  // chip resets on the line's change (a capacitor in the line on the usual boards), which is
  // what lets terminals hold DTR on at all.
  void HoldResetLine(bool Hold) { HoldLine = Hold; }
  // Every byte sent and received, and the reset, to Trace (none: no trace).
  void TraceTo(TWireTrace* Trace) { WireTrace = Trace; }
  void Close();
  bool IsOpen() const { return Port->IsOpen(); }
  // A refusal of the last reset's modem-line changes; Ok when the lines moved or the device has
  // none (a pseudo-terminal).
  TPortResult ResetRefusal() const { return FResetRefusal; }
  std::string ErrorText(int32_t Code) const { return Port->ErrorText(Code); }

  TPortTime Now() { return Port->Now(); }
  void WaitUntil(TPortTime Moment) { Port->WaitUntil(Moment); }
  // Another rate and count of stop bits on the open port, for a program of the link's own on the
  // chip; the session's waits count at that rate from then on, the stream encoder keeps its rule.
  TPortResult SetLine(uint32_t LineBaud, int32_t StopBits);
  // Waits until Ms after the reset mark (the end of the reset pulse).
  void DelayMs(uint16_t Ms);
  // Makes this moment the reset mark.
  void MarkNow() { ResetMark = Now(); }
  TPortTime ResetMarkTime() const { return ResetMark; }

  // Reads and throws away input until the line has been quiet for a moment, within a bound.
  void DrainInput();
  // Throws away what arrives until the line is quiet for TimeoutMs.
  void DiscardInput(int32_t TimeoutMs);
  TPortResult Send(std::string_view Bytes);
  // Waits until the device has sent what was written, within the time the bytes need.
  TPortResult DrainOutput();
  // The next byte received, waiting up to TimeoutMs for it.
  TPortResult ReceiveByte(uint8_t& Byte, int32_t TimeoutMs);
  // Appends what has been received, waiting up to TimeoutMs for anything.
  TPortResult ReceiveAny(std::string& Into, int32_t TimeoutMs);
  // While Bytes is not 0, a read that finds nothing left to take first waits until Bytes more
  // are due at the line rate after the previous read, and takes them at one wake: for answers
  // that the host has clocked out well ahead, and that arrive steadily.
  void GatherReads(std::size_t Bytes) { GatherBytes = Bytes; }
  // True once a read since the port was opened found the device failed (not silent, not a line
  // error).
  bool ReadFailed() const { return FReadFailed; }

  // The stream encoder, with the line's rate rule: above 115200 baud consecutive longs are
  // separated by an extra high bit time.
  void ResetEncoder() { Encoder.Reset(); }
  void EncodeBit(uint8_t Value, int32_t BitIndex) { Encoder.EncodeBit(Value, BitIndex, HighSpeed); }
  void EncodeLong(uint32_t Value) { Encoder.EncodeLong(Value, HighSpeed); }
  std::string FlushEncoder() { return Encoder.Flush(); }
  int32_t EncodedBytes() const { return Encoder.ByteCount(); }
  bool HighSpeedEncoding() const { return HighSpeed; }

private:
  TPortResult Start(const std::string& Name, uint32_t LineBaud, bool Reset);
  TPortResult SetUp(const std::string& Name);
  void PulseReset();
  void DriveLines(bool Active);
  void ForgetReceived();
  void TraceBytes(TWireTrace::TDirection Direction, std::string_view Bytes);

  std::unique_ptr<TSerialPort> Port;
  std::string PortName;
  const TResetMethod* Reset = &DtrReset();
  bool HoldLine = false;
  TWireTrace* WireTrace = nullptr;
  TStreamEncoder Encoder;
  uint32_t Baud = 0;
  bool HighSpeed = false;
  TPortTime ResetMark{};
  TPortResult FResetRefusal;
  bool FReadFailed = false;
  std::string Received;
  std::size_t ReceivedAt = 0;
  std::size_t GatherBytes = 0;
  TPortTime LastReadAt{};
};
