// Any byte stream from the chip, as the answer to a handshake: a port hands the bytes to the
// link once its handshake packet is out, and the link reads the 250 answer bits and the
// version byte. Its verdict must match what the bytes say.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <string>

#include "FuzzFailure.h"
#include "link/Propeller.h"
#include "link/ProtocolBytes.h"
#include "link/ShiftRegister.h"
#include "serial/BlockSerial.h"

namespace {
// A port whose far end answers the first write with the stream, on a clock of its own: time
// passes only when the link waits, so a run never sleeps.
class TCannedAnswerPort : public TSerialPort {
public:
  explicit TCannedAnswerPort(std::string Answer) : Answer(std::move(Answer)) {}

  TPortResult Open(const std::string&) override {
    Opened = true;
    return {};
  }
  TPortResult Configure(uint32_t, int32_t) override { return {}; }
  TPortResult SetLine(uint32_t, int32_t) override { return {}; }
  TPortResult SetModemLines(bool, bool) override { return {ErrNoModemLines}; }
  TPortResult Purge() override { return {}; }
  TPortResult Write(std::string_view) override {
    Arrived = true;
    return {};
  }
  TPortResult Read(std::string& Into, std::size_t Max, TPortTime Deadline) override {
    if (!Arrived || Answer.empty()) {
      Clock = std::max(Clock, Deadline);
      return {ErrTimeout};
    }
    const std::size_t Taken = std::min(Max, Answer.size());
    Into.append(Answer, 0, Taken);
    Answer.erase(0, Taken);
    return {};
  }
  TPortResult QueueCounts(int32_t& Input, int32_t& Output) override {
    Input = Output = 0;
    return {};
  }
  void Close() override { Opened = false; }
  bool IsOpen() const override { return Opened; }
  std::string ErrorText(int32_t Code) const override { return TBlockSerial::GetErrorDesc(Code); }
  TPortTime Now() override { return Clock; }
  void WaitUntil(TPortTime Moment) override { Clock = std::max(Clock, Moment); }

private:
  std::string Answer;
  bool Opened = false;
  bool Arrived = false;
  TPortTime Clock = TPortTime{} + std::chrono::hours(1);
};

struct TExpected {
  bool Accepted = false;
  std::string Error;
  uint8_t Version = 0;
};

// What a correct reader concludes from the bytes, with the shift register already past the
// host's 250 bits.
TExpected Judge(const uint8_t* Data, size_t Size, uint8_t Lfsr) {
  auto IsReply = [&](size_t At) { return At < Size && (Data[At] & 0xFE) == 0xFE; };
  for (size_t At = 0; At < HandshakeBits; ++At) {
    const std::string Read = std::to_string(At + 1);
    if (!IsReply(At)) return {false, "Timeout Failed at Read " + Read, 0};
    if ((Data[At] & 1) != StepShiftRegister(Lfsr))
      return {false, "Mismatch Failed at Read " + Read, 0};
  }
  TExpected Result{true, "", 0};
  for (size_t At = HandshakeBits; At < AnswerWindows; ++At) {
    if (!IsReply(At)) return {false, "", 0};
    Result.Version = static_cast<uint8_t>((Result.Version >> 1) | (Data[At] & 1) << 7);
  }
  return Result;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TPropeller Link{
      std::cout,
      {},
      std::make_unique<TCannedAnswerPort>(std::string(reinterpret_cast<const char*>(Data), Size))};
  uint8_t Lfsr = LfsrSeed;
  for (int Bit = 0; Bit < HandshakeBits; ++Bit) StepShiftRegister(Lfsr);
  const TExpected Expected = Judge(Data, Size, Lfsr);
  const uint8_t Version = Link.FindPropeller("canned");
  // Version 0 is an answer, but not a chip.
  Require((Version != 0) == (Expected.Accepted && Expected.Version != 0),
          "the verdict follows the bytes");
  Require(Link.LastError() == Expected.Error, "the failure names the read");
  if (Expected.Accepted)
    Require(Link.Version() == Expected.Version, "the version is the last eight bits");
  return 0;
}
