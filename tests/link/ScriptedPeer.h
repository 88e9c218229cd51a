// The far end of a serial line on a pseudo-terminal, played by a script on a thread of its
// own: the link opens the slave side like any serial port; the script reads what the host
// sends (decoded into protocol bits on the chip's terms where it asks for bits) and sends
// back the replies a chip would give. It is a test partner with no timing of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class TScriptedPeer {
public:
  using TScript = std::function<void(TScriptedPeer&)>;
  using TClock = std::chrono::steady_clock;

  TScriptedPeer();
  ~TScriptedPeer();
  TScriptedPeer(const TScriptedPeer&) = delete;
  TScriptedPeer& operator=(const TScriptedPeer&) = delete;

  const std::string& PortName() const { return SlavePath; }
  void Start(TScript Script);
  // Waits for the script to end; gives what went wrong in it, empty when nothing did.
  std::string Finish();

  // Script steps. A wait for the host gives up after PatienceMs and ends the script.
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
  TClock::time_point FirstByteAt{};

private:
  void FlushOutput();
  void WaitFor(short Events);
  uint8_t ReadBit();
  bool BitsPending() const;
  uint8_t NextLfsrBit();

  int Master = -1;
  int Slave = -1;  // held open so that the host closing its side never hangs the line up
  std::string SlavePath;
  std::string Input;
  std::size_t InputAt = 0;
  std::string Output;
  // The decoded bits of the last byte read, and how many of them have been taken.
  const std::vector<uint8_t>* Bits = &NoBits;
  std::size_t BitAt = 0;
  static inline const std::vector<uint8_t> NoBits;
  uint8_t Lfsr = 0;
  std::string Failure;
  std::atomic<bool> Stopping{false};
  std::thread Thread;
};
