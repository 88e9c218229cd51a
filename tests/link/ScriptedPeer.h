// The far end of a virtual serial line, played by a script on a thread of its own: the link
// opens the line's port like any serial port; the script reads what the host sends (decoded
// into protocol bits on the chip's terms where it asks for bits) and sends back the replies a
// chip would give. It answers at once, in virtual time, unless the script idles.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/VirtualLine.h"

class TScriptedPeer {
public:
  using TScript = std::function<void(TScriptedPeer&)>;
  explicit TScriptedPeer(const std::string& PortName = "virtual");
  ~TScriptedPeer();
  TScriptedPeer(const TScriptedPeer&) = delete;
  TScriptedPeer& operator=(const TScriptedPeer&) = delete;

  const std::string& PortName() const { return Line.PortName(); }
  // A port on the host's end of the line, for a link.
  std::unique_ptr<TSerialPort> Port() { return Line.HostPort(); }
  TVirtualLine& VirtualLine() { return Line; }
  void Start(TScript Script);
  // Tells the script that the host is done and waits for it to end; gives what went wrong in
  // it, empty when nothing did.
  std::string Finish();

  // Script steps. A wait for the host gives up after PatienceMs and ends the script.
  // The moment the script's next reply goes out.
  TPortTime ScriptTime() const { return ScriptNow; }
  uint8_t PeekByte();
  uint8_t ReadByte();
  std::vector<uint8_t> ReadBits(std::size_t Count);
  uint32_t ReadLong();
  void Send(const std::string& Bytes);
  // Takes one poll byte 0xF9 and answers it with Reply (or with nothing).
  void AnswerPoll(uint8_t Reply);
  void IgnorePoll();
  // Takes poll bytes without answering them until a byte of another value is next.
  int IgnorePollsUntilData();
  // Takes every poll byte the host sends within the next Ms without answering; the script's
  // next reply goes out no earlier than Ms from now. Ends early when the host is done.
  void IgnorePollsFor(int Ms);
  // Fails the script when the host sends anything within Ms.
  void ExpectQuiet(int Ms);
  void AnswerBit(uint8_t Bit) { AnswerPoll(Bit ? 0xFF : 0xFE); }
  void AnswerByte(uint8_t Value);
  void AnswerBytes(const std::string& Values);
  // The host's handshake: the calibration pulses when asked for, then the 250 bits of the
  // shift register, each of which must be right.
  void TakeHandshake(bool WithCalibration);
  // The chip's answer: the next 250 shift-register bits (the one numbered WrongBit inverted)
  // and the first VersionBits bits of the version byte.
  void AnswerHandshake(uint8_t Version, int WrongBit = 0, int VersionBits = 8);
  // Mode long, count long and that many image longs.
  std::vector<uint32_t> TakeDownload();

  int PatienceMs = 3000;
  // Filled by the script's thread; read them after Finish.
  std::string Received;
  TPortTime FirstByteAt{};

private:
  void FlushOutput();
  uint8_t ReadBit();
  bool BitsPending() const;
  uint8_t NextLfsrBit();

  TVirtualLine Line;
  TPortTime ScriptNow{};  // the moment of the script's next reply
  std::string Input;
  std::size_t InputAt = 0;
  std::string Output;
  // The decoded bits of the last byte read, and how many of them have been taken.
  const std::vector<uint8_t>* Bits = &NoBits;
  std::size_t BitAt = 0;
  static inline const std::vector<uint8_t> NoBits;
  uint8_t Lfsr = 0;
  std::string Failure;
  std::thread Thread;
};
