// Preloaded with the modem lines: a transmitter for two test lines. A pseudo-terminal hands
// every byte to its far end at once, so its output queue always reads empty and a drain has
// nothing to wait for. Bytes written to the line named by QKL_PACED_LINE stay queued until
// they would have left at its configured rate, ten bits a byte; those written to the line
// named by QKL_STALLED_LINE never leave, as on an adapter whose output is stuck. TIOCOUTQ
// (Wine's ClearCommError reports it as the output queue) answers what is left, and flushing
// the output queue empties it. The bytes themselves still reach the far end at once.
#include "TransmitQueue.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::microseconds;

struct TTransmitter {
  int64_t Queued = 0;
  TClock::time_point CountedAt{};  // the moment Queued holds for

  // Takes off what a line carrying BytesPerSecond has sent since CountedAt.
  void Advance(int64_t BytesPerSecond, TClock::time_point Now) {
    if (BytesPerSecond == 0 || Queued == 0) {
      CountedAt = Now;
      return;
    }
    const int64_t Us = std::chrono::duration_cast<microseconds>(Now - CountedAt).count();
    const int64_t Sent = std::min(Queued, Us * BytesPerSecond / 1000000);
    Queued -= Sent;
    CountedAt = Queued == 0 ? Now : CountedAt + microseconds(Sent * 1000000 / BytesPerSecond);
  }
};

struct TRate {
  speed_t Code;
  int64_t Baud;
};

constexpr TRate Rates[] = {
    {B9600, 9600},   {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

std::mutex Guard;
TTransmitter PacedLine;
TTransmitter StalledLine;

bool IsLine(const struct stat& Status, const char* Variable) {
  const char* Path = std::getenv(Variable);
  struct stat Line {};
  return Path && ::stat(Path, &Line) == 0 && S_ISCHR(Line.st_mode) &&
         Line.st_rdev == Status.st_rdev;
}

// The transmitter of Fd's line with its rate in bytes per second (0: nothing leaves); null
// for a descriptor that is neither test line. Keeps errno as it was.
TTransmitter* TransmitterOf(int Fd, int64_t& BytesPerSecond) {
  const int Error = errno;
  struct stat Status {};
  TTransmitter* Found = nullptr;
  if (::fstat(Fd, &Status) == 0 && S_ISCHR(Status.st_mode)) {
    if (IsLine(Status, "QKL_STALLED_LINE")) Found = &StalledLine;
    if (IsLine(Status, "QKL_PACED_LINE")) {
      Found = &PacedLine;
      termios Settings{};
      if (::tcgetattr(Fd, &Settings) == 0)
        for (const auto& Rate : Rates)
          if (::cfgetospeed(&Settings) == Rate.Code) BytesPerSecond = Rate.Baud / 10;
    }
  }
  errno = Error;
  return Found;
}

void Enqueue(int Fd, int64_t Bytes) {
  int64_t BytesPerSecond = 0;
  TTransmitter* Line = TransmitterOf(Fd, BytesPerSecond);
  if (!Line) return;
  const std::lock_guard Lock(Guard);
  Line->Advance(BytesPerSecond, TClock::now());
  Line->Queued += Bytes;
}

void EmptyQueue(int Fd) {
  int64_t BytesPerSecond = 0;
  TTransmitter* Line = TransmitterOf(Fd, BytesPerSecond);
  if (!Line) return;
  const std::lock_guard Lock(Guard);
  *Line = TTransmitter{0, TClock::now()};
}

template <typename TFunction>
TFunction Real(const char* Name) {
  return reinterpret_cast<TFunction>(::dlsym(RTLD_NEXT, Name));
}

}  // namespace

bool ModelledOutputQueue(int Fd, int& Count) {
  int64_t BytesPerSecond = 0;
  TTransmitter* Line = TransmitterOf(Fd, BytesPerSecond);
  if (!Line) return false;
  const std::lock_guard Lock(Guard);
  Line->Advance(BytesPerSecond, TClock::now());
  Count = static_cast<int>(Line->Queued);
  return true;
}

extern "C" ssize_t write(int Fd, const void* Data, size_t Length) {
  static const auto RealWrite = Real<ssize_t (*)(int, const void*, size_t)>("write");
  const ssize_t Written = RealWrite(Fd, Data, Length);
  if (Written > 0) Enqueue(Fd, Written);
  return Written;
}

extern "C" int tcflush(int Fd, int Queue) noexcept {
  static const auto RealFlush = Real<int (*)(int, int)>("tcflush");
  const int Result = RealFlush(Fd, Queue);
  if (Result == 0 && (Queue == TCOFLUSH || Queue == TCIOFLUSH)) EmptyQueue(Fd);
  return Result;
}
