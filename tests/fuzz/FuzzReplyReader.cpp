// Any byte stream from the chip, as the answer to a handshake: the bytes are queued on a
// pseudo-terminal whose slave side the link has open as its port, then the link reads the
// 250 answer bits and the version byte. Its verdict must match what the bytes say.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "FuzzFailure.h"
#include "link/LinkState.h"
#include "link/Propeller.h"
#include "link/ProtocolBytes.h"
#include "link/ShiftRegister.h"

namespace {
// The line's buffer takes this much without a reader on the far side.
constexpr size_t MaxStream = 2048;

struct TLine {
  int Master = -1;
  TPropeller Link{std::cout};

  TLine() {
    Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master == -1 || grantpt(Master) != 0 || unlockpt(Master) != 0) FuzzFailure("pty opens");
    Link.Serial->RaiseExcept = true;
    Link.Serial->LinuxLock = false;
    Link.Serial->OpenDevice(ptsname(Master));
    Link.Serial->Configure(115200, 8, 'N', 0, false, false);
  }
};

void Queue(TLine& Line, const uint8_t* Data, size_t Size) {
  Line.Link.Serial->PurgeBuffers();
  for (size_t Done = 0; Done < Size;) {
    const ssize_t Written = write(Line.Master, Data + Done, Size - Done);
    if (Written < 0 && errno == EINTR) continue;  // libFuzzer's timer signal
    if (Written <= 0) FuzzFailure("the stream is queued");
    Done += static_cast<size_t>(Written);
  }
  // The pseudo-terminal hands bytes over asynchronously; the reads below must find them all.
  const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (Line.Link.Serial->QueuedInput() < static_cast<int32_t>(Size)) {
    if (std::chrono::steady_clock::now() > Limit) FuzzFailure("every byte reaches the port");
    std::this_thread::yield();
  }
}

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
  static TLine Line;
  if (Size > MaxStream) return -1;
  Queue(Line, Data, Size);
  ReplyTimeoutMs = 0;
  TPropeller& Link = Line.Link;
  Link.SeedLfsr();
  for (int Bit = 0; Bit < HandshakeBits; ++Bit) Link.NextLfsrBit();
  const TExpected Expected = Judge(Data, Size, Link.Lfsr);
  Link.LastError.clear();
  uint8_t Version = 0xAA;
  const bool Accepted = Link.ReceiveHandshake(Version);
  Require(Accepted == Expected.Accepted, "the verdict follows the bytes");
  Require(Link.LastError == Expected.Error, "the failure names the read");
  if (Accepted) Require(Version == Expected.Version, "the version is the last eight bits");
  return 0;
}
