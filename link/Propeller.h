// TPropeller: the link object the flows use. It holds the program image and speaks the host side
// of the chip's ROM boot loader protocol (and of the EEPROM reader program) over the session it
// owns.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "link/LinkProgress.h"
#include "link/LinkSession.h"
#include "link/ProtocolTimes.h"

constexpr std::size_t ImageSize = 32768;
constexpr std::size_t ImageLongs = ImageSize / 4;

class TPropeller {
public:
  // Out receives the lines the read-back prints. Without a port the link uses the serial device
  // the flows name.
  explicit TPropeller(std::ostream& Out, TLinkHooks Hooks = {},
                      std::unique_ptr<TSerialPort> Port = nullptr);
  TPropeller(const TPropeller&) = delete;
  TPropeller& operator=(const TPropeller&) = delete;

  // Connection and reset.
  bool OpenPort(const std::string& PortName);
  void ClosePort();
  bool PortOpen() const { return Session.IsOpen(); }
  uint8_t FindPropeller(const std::string& PortName);

  // Download.
  bool LoadImage(uint8_t Mode);
  // A program of the link's own in RAM (mode 1), its verdict polled every few milliseconds: the
  // chip has it as soon as it has summed RAM.
  bool LoadProgram();

  // Image files.
  bool LoadFile(const std::string& FileName);
  bool ChecksumValid();
  bool SaveFile(const std::string& FileName);

  // EEPROM read-back through the reader program.
  void PrepareReaderImage();
  bool ReadEeprom();
  // The read-back from the sync phase on, with the reader program already running.
  bool ReadFromRunningReader();

  const std::string& LastError() const { return FLastError; }
  uint8_t Version() const { return FVersion; }
  bool ImageValid() const { return FImageValid; }
  uint32_t BaudRate() const { return FBaudRate; }
  void SetBaudRate(uint32_t Baud) { FBaudRate = Baud; }
  // The longs LoadImage sends; ChecksumValid sets it from the image.
  uint32_t LongCount() const { return FLongCount; }
  void SetLongCount(uint32_t Count) { FLongCount = Count; }
  // The port's own reason why the last OpenPort failed (LastError only says that it did): its
  // error number, 0 after an OpenPort that succeeded, and the number's text.
  int32_t OpenFailureCode() const { return FOpenFailure.Code; }
  std::string OpenFailureText() const;
  // The adapter's refusal of the last reset pulse (0 when the chip was reset, or when the port
  // has no modem lines), and its text.
  int32_t ResetRefusalCode() const { return Session.ResetRefusal().Code; }
  std::string ResetRefusalText() const { return Session.ErrorText(ResetRefusalCode()); }

  // The image buffer, also as 8192 little-endian longs.
  const std::array<uint8_t, ImageSize>& Image() const { return FImage; }
  uint32_t ImageLong(std::size_t Index) const;
  void SetImageLong(std::size_t Index, uint32_t Value);

  TLinkSession& LinkSession() { return Session; }

private:
  // How a run of single-byte polls ended. LineFailed: the device failed a poll's write or the
  // read of its answer (an adapter pulled out), which silence never is.
  enum class TPollEnd { Reply, LineFailed, TimedOut, Exhausted };
  struct TPollResult {
    TPollEnd End;
    uint32_t Poll;  // zero-based number of the last poll
    uint8_t Bit;    // the reply bit, when End is Reply
  };

  std::string EncodeHandshakeBits();
  bool ReceiveReplyBit(uint8_t& Bit, int32_t TimeoutMs);
  bool ReceiveReplyByte(uint8_t& Value, int32_t TimeoutMs);
  bool ReceiveHandshake();
  TPollResult PollForReply(uint32_t Polls, int64_t LimitMs, TLinkStage Stage,
                           int32_t ReplyTimeoutMs);
  bool SendDownload(uint8_t Mode);
  bool SendStream(const std::string& Stream);
  bool AwaitVerdict(TLinkStage Stage, int64_t LimitMs, uint32_t Polls,
                    const std::string& TimeoutText, const std::string& FailureText,
                    int32_t ReplyTimeoutMs = PollReplyTimeoutMs);
  bool SendWholeDownload(uint8_t Mode);
  void SyncWithReader();
  bool ReceiveEeprom(uint16_t& Received, uint16_t& Computed);
  void ReportReadBack(uint16_t Received, uint16_t Computed);
  bool AbortReadBack();
  void Notify(const TLinkProgress& Event) const;

  std::ostream& Out;
  TLinkHooks Hooks;
  TLinkSession Session;
  std::array<uint8_t, ImageSize> FImage{};
  uint32_t FLongCount = 0;
  uint32_t FBaudRate = 115200;
  uint8_t FVersion = 0;
  bool FImageValid = false;
  uint8_t Lfsr = 0;
  std::string FLastError;
  TPortResult FOpenFailure;
};
