// TBlockSerial device calls on POSIX terminals (termios, poll, ioctl).
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#ifdef __linux__
#include <linux/serial.h>
#endif
#ifdef __APPLE__
// The IOKit serial header's one request, as it declares it: any rate, set after tcsetattr.
#ifndef IOSSIOSPEED
#define IOSSIOSPEED _IOW('T', 2, speed_t)
#endif
#endif

#include "serial/BlockSerial.h"

namespace {

using std::chrono::steady_clock;

int Fd(std::intptr_t Handle) { return static_cast<int>(Handle); }

// Waits until the device is ready for Events or Deadline has passed; restarts on signals.
// Hang-up and error conditions count as ready: the following call reports them.
int32_t AwaitDevice(int Device, short Events, steady_clock::time_point Deadline) {
  for (;;) {
    const auto Left =
        std::chrono::ceil<std::chrono::milliseconds>(Deadline - steady_clock::now()).count();
    pollfd Poll{Device, Events, 0};
    const int Ready = ::poll(&Poll, 1, static_cast<int>(std::clamp<int64_t>(Left, 0, INT_MAX)));
    // A terminal that hung up (a USB adapter unplugged, the far end of a pseudo-terminal
    // closed) reports itself ready while its reads give 0 bytes: it would never come to the
    // deadline.
    if (Ready > 0) return (Poll.revents & (POLLHUP | POLLERR | POLLNVAL)) ? EIO : 0;
    if (Ready == 0 && Left <= 0) return ErrTimeout;
    if (Ready < 0 && errno != EINTR) return errno;
  }
}

bool IsRetryable(int Error) { return Error == EINTR || Error == EAGAIN || Error == EWOULDBLOCK; }

struct TSpeed {
  uint32_t Baud;
  speed_t Code;
};

constexpr TSpeed Speeds[] = {
    {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
// Linux names these rates; the BSDs name some of them and macOS none.
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
};

bool SpeedCode(uint32_t Baud, speed_t& Code) {
  const auto* Found = std::find_if(std::begin(Speeds), std::end(Speeds),
                                   [Baud](const TSpeed& Speed) { return Speed.Baud == Baud; });
  if (Found == std::end(Speeds)) return false;
  Code = Found->Code;
  return true;
}

bool CharacterSize(uint8_t ByteSize, tcflag_t& Flag) {
  constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
  if (ByteSize < 5 || ByteSize > 8) return false;
  Flag = Sizes[ByteSize - 5];
  return true;
}

// Parity codes 0 none, 1 odd, 2 even, 3 mark, 4 space.
bool ParityFlags(uint8_t Parity, tcflag_t& Flags) {
#ifdef CMSPAR
  constexpr tcflag_t Sticky = CMSPAR;
#else
  constexpr tcflag_t Sticky = 0;
  if (Parity > 2) return false;
#endif
  const tcflag_t Table[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | Sticky, PARENB | Sticky};
  if (Parity > 4) return false;
  Flags = Table[Parity];
  return true;
}

// Fills T from the line settings; false (errno EINVAL) for a setting termios cannot express.
bool TranslateSettings(const TLineSettings& Line, termios& T) {
  speed_t Speed = 0;
  tcflag_t Size = 0;
  tcflag_t Parity = 0;
  if (!SpeedCode(Line.BaudRate, Speed) || !CharacterSize(Line.ByteSize, Size) ||
      !ParityFlags(Line.Parity, Parity)) {
    errno = EINVAL;
    return false;
  }
  ::cfmakeraw(&T);
  ::cfsetispeed(&T, Speed);
  ::cfsetospeed(&T, Speed);
  T.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
  T.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | HUPCL | CRTSCTS);
#ifdef CMSPAR
  T.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
  T.c_cflag |= Size | Parity | CLOCAL | CREAD;
  if (Line.StopBits != 0) T.c_cflag |= CSTOPB;  // termios has no 1.5 stop bits
  if (Line.ParityCheck) T.c_iflag |= INPCK;
  if (Line.OutX) T.c_iflag |= IXON;
  if (Line.InX) T.c_iflag |= IXOFF;
  if (Line.OutxCtsFlow || Line.RtsHandshake) T.c_cflag |= CRTSCTS;
  T.c_cc[VSTART] = static_cast<cc_t>(Line.XonChar);
  T.c_cc[VSTOP] = static_cast<cc_t>(Line.XoffChar);
  T.c_cc[VMIN] = 0;
  T.c_cc[VTIME] = 0;
  return true;
}

// tcsetattr succeeds when any part was taken, so the rate is read back to catch a refusal.
bool WriteLineSettings(int Device, const TLineSettings& Line) {
  termios T{};
  if (::tcgetattr(Device, &T) == -1 || !TranslateSettings(Line, T)) return false;
  if (::tcsetattr(Device, TCSANOW, &T) == -1) return false;
  termios Taken{};
  if (::tcgetattr(Device, &Taken) == -1) return false;
  if (::cfgetospeed(&Taken) != ::cfgetospeed(&T)) {
    errno = EINVAL;
    return false;
  }
  return true;
}

// Asks the driver to hand over received bytes at once rather than on its own timer; a driver
// that does not know the request (a pseudo-terminal) or refuses it keeps its way.
void AskLowLatency(int Device) {
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
  serial_struct Serial{};
  if (::ioctl(Device, TIOCGSERIAL, &Serial) == -1) return;
  Serial.flags |= ASYNC_LOW_LATENCY;
  ::ioctl(Device, TIOCSSERIAL, &Serial);
#else
  (void)Device;
#endif
}

// Sets Baud and the stop bits on Device and reads them back. A rate without a termios code is
// set on macOS by IOSSIOSPEED, and refused elsewhere.
int32_t WriteRate(int Device, uint32_t Baud, bool TwoStopBits) {
  termios T{};
  if (::tcgetattr(Device, &T) == -1) return errno;
  speed_t Speed = 0;
  const bool Named = SpeedCode(Baud, Speed);
#ifdef __APPLE__
  if (!Named) Speed = B230400;  // until IOSSIOSPEED sets the rate itself
#else
  if (!Named) return ErrRateRefused;
#endif
  ::cfsetispeed(&T, Speed);
  ::cfsetospeed(&T, Speed);
  T.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  if (TwoStopBits) T.c_cflag |= CSTOPB;
  if (::tcsetattr(Device, TCSANOW, &T) == -1) return errno == EINVAL ? ErrRateRefused : errno;
#ifdef __APPLE__
  speed_t Rate = Baud;
  if (!Named && ::ioctl(Device, IOSSIOSPEED, &Rate) == -1) return ErrRateRefused;
  if (!Named) Speed = Rate;
#endif
  termios Taken{};
  if (::tcgetattr(Device, &Taken) == -1) return errno;
  if (::cfgetospeed(&Taken) != Speed) return ErrRateRefused;
  if (((Taken.c_cflag & CSTOPB) != 0) != TwoStopBits) return EINVAL;
  return 0;
}

// Line stays quiet when the carrier drops, and closing never drops DTR by itself (no hang-up).
void KeepLinesOnClose(int Device) {
  termios T{};
  if (::tcgetattr(Device, &T) == -1) return;
  T.c_cflag |= CLOCAL;
  T.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
  ::tcsetattr(Device, TCSANOW, &T);
}

int32_t DriveModemLine(std::intptr_t Handle, int Line, bool On) {
  int Bits = Line;
  if (::ioctl(Fd(Handle), On ? TIOCMBIS : TIOCMBIC, &Bits) == 0) return 0;
  // A pseudo-terminal answers ENOTTY, some drivers EINVAL: the device has no modem lines.
  return errno == ENOTTY || errno == EINVAL ? ErrNoModemLines : errno;
}

bool TransmitterEmpty(int Device) {
#if defined(TIOCSERGETLSR) && defined(TIOCSER_TEMT)
  unsigned int Status = 0;
  if (::ioctl(Device, TIOCSERGETLSR, &Status) == 0) return (Status & TIOCSER_TEMT) != 0;
#endif
  (void)Device;
  return true;  // drivers without a line status register: the queue count is all we know
}

}  // namespace

int32_t TBlockSerial::LastOsError() { return errno; }

std::string TBlockSerial::OsErrorText(int32_t Code) { return std::strerror(Code); }

std::string TBlockSerial::DevicePathFor(const std::string& PortName) const {
  if (IsComName(PortName) && FPortNumber >= 0) return "/dev/ttyS" + std::to_string(FPortNumber);
  return PortName;
}

std::intptr_t TBlockSerial::OpenHandle(const std::string& Path) {
  const int Device = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Device == -1) return -1;
  termios Probe{};
  if (::ioctl(Device, TIOCEXCL) == -1 || ::tcgetattr(Device, &Probe) == -1) {
    const int Error = errno;
    ::close(Device);
    errno = Error;
    return -1;
  }
  // Hang-up on close still set: the port is new to this system since it appeared, or its last
  // user dropped the lines as it closed; this open raised them again.
  FOpenRaisedLines = (Probe.c_cflag & HUPCL) != 0;
  KeepLinesOnClose(Device);
  return Device;
}

void TBlockSerial::CloseHandle() {
  // The exclusive mark outlives this descriptor when someone else holds the terminal open
  // (a pseudo-terminal master), so it is taken off before closing.
  ::ioctl(Fd(FHandle), TIOCNXCL);
  ::close(Fd(FHandle));
}

void TBlockSerial::ApplyLineSettings() {
  SetErrorCode(0);
  if (!WriteLineSettings(Fd(FHandle), FLineSettings)) {
    CheckOsResult(-1);
  } else if (!FLeaveModemLines) {
    SetDtr(!FLineSettings.DtrDisabled);
    if (!FLineSettings.RtsHandshake) SetRts(FLineSettings.RtsOn);
  }
}

int32_t TBlockSerial::ApplyLineRate() {
  const int32_t Code = WriteRate(Fd(FHandle), FLineSettings.BaudRate, FLineSettings.StopBits == 2);
  if (Code == 0) AskLowLatency(Fd(FHandle));
  return Code;
}

void TBlockSerial::SetDtr(bool On) { DriveModemLine(FHandle, TIOCM_DTR, On); }

void TBlockSerial::SetRts(bool On) { DriveModemLine(FHandle, TIOCM_RTS, On); }

int32_t TBlockSerial::DriveModemLines(bool Dtr, bool Rts) {
  const int32_t Code = DriveModemLine(FHandle, TIOCM_DTR, Dtr);
  return Code != 0 ? Code : DriveModemLine(FHandle, TIOCM_RTS, Rts);
}

int32_t TBlockSerial::DeviceWrite(const void* Data, int32_t Length, int32_t& Written) {
  const auto Deadline = DeadlineAfter(DeadlockTimeout);
  const auto* Bytes = static_cast<const char*>(Data);
  Written = 0;
  while (Written < Length) {
    const auto Left = static_cast<size_t>(Length - Written);
    const ssize_t Count = ::write(Fd(FHandle), Bytes + Written, Left);
    if (Count > 0) {
      Written += static_cast<int32_t>(Count);
      continue;
    }
    if (Count < 0 && !IsRetryable(errno)) return errno;
    const int32_t Wait = AwaitDevice(Fd(FHandle), POLLOUT, Deadline);
    if (Wait == ErrTimeout) ::tcflush(Fd(FHandle), TCOFLUSH);  // the unsent rest is discarded
    if (Wait != 0) return Wait;
  }
  return 0;
}

int32_t TBlockSerial::DeviceRead(void* Dest, int32_t Length, int32_t& Count) {
  const auto Deadline = DeadlineAfter(DeadlockTimeout);
  Count = 0;
  while (Length > 0) {
    const ssize_t Got = ::read(Fd(FHandle), Dest, static_cast<size_t>(Length));
    if (Got > 0) {
      Count = static_cast<int32_t>(Got);
      return 0;
    }
    if (Got < 0 && !IsRetryable(errno)) return errno;
    const int32_t Wait = AwaitDevice(Fd(FHandle), POLLIN, Deadline);
    if (Wait != 0) return Wait;
  }
  return 0;
}

int32_t TBlockSerial::QueuedBytes(int32_t& Count) {
  int Queued = 0;
  if (::ioctl(Fd(FHandle), FIONREAD, &Queued) == -1) return errno;
  Count = Queued;
  return 0;
}

int32_t TBlockSerial::ReadableBytes(int32_t& Count) {
  Count = RecvQueueSize;
  return 0;
}

int32_t TBlockSerial::DiscardQueues() {
  return ::tcflush(Fd(FHandle), TCIOFLUSH) == -1 ? errno : 0;
}

// A byte that has left the queue may still be in the transmitter's shift register; it counts
// as one byte queued.
int32_t TBlockSerial::QueuedOutput(int32_t& Count) {
  int Queued = 0;
  if (::ioctl(Fd(FHandle), TIOCOUTQ, &Queued) == -1) return errno;
  Count = Queued > 0 || TransmitterEmpty(Fd(FHandle)) ? Queued : 1;
  return 0;
}

// Linux counts line errors per device; other systems report none to a program.
uint32_t TBlockSerial::TakeLineErrors() {
#if defined(__linux__) && defined(TIOCGICOUNT)
  serial_icounter_struct Counts{};
  if (!CountsLineErrors) return 0;
  if (::ioctl(Fd(FHandle), TIOCGICOUNT, &Counts) == -1) {
    CountsLineErrors = errno != ENOTTY && errno != EINVAL;
    return 0;
  }
  const std::array<int32_t, 4> Now{Counts.frame, Counts.overrun, Counts.parity, Counts.buf_overrun};
  constexpr uint32_t Flags[] = {LineErrFrame, LineErrOverrun, LineErrRxParity, LineErrRxOver};
  uint32_t Raised = 0;
  for (std::size_t I = 0; I < Now.size(); ++I)
    if (Now[I] != LineErrorBase[I]) Raised |= Flags[I];
  LineErrorBase = Now;
  return Raised;
#else
  return 0;
#endif
}

// Silence is the caller's to report as a time-out; a hang-up or a failed wait is recorded
// here, or a port whose adapter was pulled would read as a quiet one.
bool TBlockSerial::WaitEvent(int32_t TimeoutMs) {
  SetErrorCode(0);
  const int32_t Code = AwaitDevice(Fd(FHandle), POLLIN, DeadlineAfter(TimeoutMs));
  if (Code != ErrTimeout) SetErrorCode(Code);
  return Code == 0;
}
