// TPropeller: the link object that owns one serial connection to a Propeller 1 chip and
// speaks the host side of its ROM boot loader protocol (and of the EEPROM reader program).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "serial/BlockSerial.h"

constexpr std::size_t ImageSize = 32768;
constexpr std::size_t ImageLongs = ImageSize / 4;

// Where the link is when it reports progress, and the work of that stage done so far: image
// longs sent, or poll bytes written while a verdict or the reader program's answer is awaited.
enum class TLinkStage { Download, Verdict, ReaderSync };
struct TLinkProgress {
  TLinkStage Stage;
  uint32_t Done;
};

// Notifications a client may ask for: a text at the start of each stage of a download or a
// read-back, and a call after each intermediate write of the image and at every poll.
struct TLinkHooks {
  std::function<void(const std::string&)> Status;
  std::function<void(const TLinkProgress&)> Progress;
};

class TPropeller {
public:
  // Out receives the lines the read-back prints.
  explicit TPropeller(std::ostream& Out, TLinkHooks Hooks = {});
  virtual ~TPropeller();
  TPropeller(const TPropeller&) = delete;
  TPropeller& operator=(const TPropeller&) = delete;

  // Connection and reset.
  bool OpenPort(const std::string& PortName);
  void ClosePort();
  void DelayMs(uint16_t Ms);

  // Stream encoder, shift register and replies.
  void ResetEncoder();
  void EncodeBit(uint8_t Value, int32_t BitIndex);
  void EncodeIdleSlot();
  void EncodeLong(uint32_t Value);
  std::string FlushEncoder();
  bool SendStream(const std::string& Stream);
  void SeedLfsr();
  uint8_t NextLfsrBit();
  bool ReceiveReplyBit(uint8_t& Bit);
  bool ReceiveReplyByte(uint8_t& Value);
  bool ReceiveHandshake(uint8_t& VersionOut);
  uint8_t FindPropeller(const std::string& PortName);

  // Download.
  bool LoadImage(uint8_t Mode);

  // Image files.
  bool LoadFile(const std::string& FileName);
  bool ChecksumValid();
  bool SaveFile(const std::string& FileName);

  // EEPROM read-back through the reader program.
  void PrepareReaderImage();
  bool ReadEeprom();
  // The read-back from the sync phase on, with the reader program already running.
  bool ReadFromRunningReader();

  uint8_t Version() const { return FVersion; }
  bool ImageValid() const { return FImageValid; }
  // The port's own reason why the last OpenPort failed (LastError only says that it did): its
  // error number, 0 after an OpenPort that succeeded, and the number's text.
  int32_t OpenFailureCode() const { return FOpenFailureCode; }
  const std::string& OpenFailureText() const { return FOpenFailureText; }

  // Image buffer access as 8192 little-endian longs.
  uint32_t ImageLong(std::size_t Index) const;
  void SetImageLong(std::size_t Index, uint32_t Value);

  std::ostream& Out;
  std::unique_ptr<TBlockSerial> Serial;
  uint32_t LongCount = 0;
  uint8_t Lfsr = 0;
  std::string CurrentPort;
  uint8_t FVersion = 0;
  bool FImageValid = false;
  bool Verbose = true;
  std::array<uint8_t, ImageSize> Image{};
  std::function<void(const std::string&)> StatusHook;
  std::function<void(const TLinkProgress&)> ProgressHook;
  uint32_t BaudRate = 115200;
  std::string LastError;

private:
  int32_t FOpenFailureCode = 0;
  std::string FOpenFailureText;

  // How a run of single-byte polls ended.
  enum class TPollEnd { Reply, WriteFailed, TimedOut, Exhausted };
  struct TPollResult {
    TPollEnd End;
    int Poll;     // zero-based number of the last poll
    uint8_t Bit;  // the reply bit, when End is Reply
  };

  std::string EncodeHandshakeBits();
  void DrainInput();
  void DiscardInput(int32_t TimeoutMs);
  TPollResult PollForReply(int Polls, int64_t LimitMs, TLinkStage Stage);
  bool SendDownload(uint8_t Mode);
  bool AwaitVerdict(const std::string& Stage, const std::string& TimeoutText,
                    const std::string& FailureText, int Polls, int64_t LimitMs);
  void SyncWithReader();
  bool ReceiveEeprom(uint16_t& Received, uint16_t& Computed);
  void ReportReadBack(uint16_t Received, uint16_t Computed);
  bool AbortReadBack();
  void NotifyStatus(const std::string& Text) const;
  void NotifyProgress(TLinkStage Stage, uint32_t Done) const;
};
