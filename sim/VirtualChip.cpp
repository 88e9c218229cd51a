#include "sim/VirtualChip.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace sim {

namespace {

using namespace std::chrono_literals;

// While the emulator runs, the line wakes this often to let chip time follow the wall clock
// and pass on what the chip sent meanwhile.
constexpr auto CatchUpStep = 5ms;
// A time limit is judged just after it has run out.
constexpr auto PastDeadline = 1ms;
// The paced line wakes for its bytes no more often than this, as a USB serial adapter passes
// its bytes on once a millisecond; each byte keeps its own time on the line.
constexpr auto PacedGrain = 1ms;

// A slow line is a paced one, and the paced line keeps the chip's working times.
ChipSettings InForce(ChipSettings Settings) {
  if (Settings.Faults.SlowLineBaud > 0) Settings.Paced = true;
  if (Settings.Paced) Settings.Instant = false;
  return Settings;
}

timespec TimespecOf(Duration Span) {
  const auto Nanoseconds =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(Span, Duration::zero()));
  return {static_cast<time_t>(Nanoseconds.count() / 1'000'000'000),
          static_cast<long>(Nanoseconds.count() % 1'000'000'000)};
}

}  // namespace

VirtualChip::VirtualChip(const ChipSettings& Chosen, const ChipLog& Log, ImageRunner* Runner)
    : Settings(InForce(Chosen)),
      Log(Log),
      Eeprom(Settings.EepromPath),
      Emulator(Settings.RomDirectory.empty() && (Runner || !Settings.RunImages)
                   ? nullptr
                   : std::make_unique<CogImageRunner>(Settings, Eeprom, Log)),
      Boot(Settings, Eeprom, Log, Runner ? Runner : Emulator.get()),
      Paced(Settings.Paced ? std::make_unique<PacedLine>() : nullptr) {
  if (::pipe2(StopPipe, O_NONBLOCK | O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe");
}

VirtualChip::~VirtualChip() {
  ::close(StopPipe[0]);
  ::close(StopPipe[1]);
}

void VirtualChip::Note(const std::string& Text) const {
  if (Log) Log(Text);
}

void VirtualChip::Stop() {
  const char Byte = 0;
  [[maybe_unused]] const ssize_t Written = ::write(StopPipe[1], &Byte, 1);
}

VirtualChip::HostExchange VirtualChip::LastExchange() const {
  std::lock_guard Guard(ExchangeLock);
  return Current.Bytes.empty() ? Previous : Current;
}

bool VirtualChip::EmulatorRuns() const { return Emulator && Emulator->Runs(); }

std::optional<TimePoint> VirtualChip::NextWake(TimePoint Now) const {
  std::optional<TimePoint> Wake;
  const auto Consider = [&](TimePoint At) {
    if (!Wake || At < *Wake) Wake = At;
  };
  if (const auto Deadline = Boot.NextDeadline(); Deadline && !Settings.Faults.Absent)
    Consider(*Deadline + PastDeadline);
  if (EmulatorRuns()) Consider(Now + CatchUpStep);
  if (const auto Done = Paced ? Paced->NextByteDone() : std::nullopt)
    Consider(std::max(*Done, Now + PacedGrain));
  return Wake;
}

void VirtualChip::Run() {
  OnReset();
  for (;;) {
    const TimePoint Now = Clock::now();
    const bool TakesHostBytes = !Paced || Paced->HostRoom(Now) > 0;
    const short MasterEvents =
        (TakesHostBytes ? POLLIN : 0) | POLLPRI | (Line.WantsWrite() ? POLLOUT : 0);
    pollfd Watched[3] = {
        {StopPipe[0], POLLIN, 0}, {Line.MasterFd(), MasterEvents, 0}, {Line.WatchFd(), POLLIN, 0}};
    const std::optional<TimePoint> Wake = NextWake(Now);
    const timespec Wait = TimespecOf(Wake ? *Wake - Now : Duration::zero());
    if (::ppoll(Watched, 3, Wake ? &Wait : nullptr, nullptr) < 0 && errno != EINTR)
      throw std::system_error(errno, std::generic_category(), "ppoll");
    if (Watched[0].revents) return;
    if (Watched[2].revents) Line.ServiceWatch();
    if (Watched[1].revents & POLLOUT) Line.WritePending();
    if (Watched[1].revents & (POLLIN | POLLPRI)) ServeMaster();
    if (Paced) DeliverArrivedBytes(Clock::now());
    if (!Settings.Faults.Absent && !RomBoots()) Boot.AdvanceTo(Clock::now());
    if (EmulatorRuns()) SendToHost(Emulator->CatchUp(Clock::now()), Clock::now());
    if (Paced) Line.Send(Paced->ReachedHost(Clock::now()));
  }
}

void VirtualChip::ServeMaster() {
  PtyLine::Event Taken;
  while (Line.Read(Taken, Paced ? Paced->HostRoom(Clock::now()) : PtyLine::AllBytes)) {
    if (Taken.Reset)
      OnReset();
    else if (Taken.Flushed)
      Note("the host flushes the port's queues: no reset");
    else if (Paced)
      TakeOnPacedLine(Taken.Bytes);
    else
      TakeHostBytes(std::move(Taken.Bytes), Clock::now());
  }
}

// The host's rate, or the slow line's when that is lower; 0 (a rate that is not standard) keeps
// the one before.
uint32_t VirtualChip::CarriedRate() const {
  const uint32_t Host = Line.LinkRate();
  const auto Slow = static_cast<uint32_t>(Settings.Faults.SlowLineBaud);
  return Slow > 0 && (Host == 0 || Host > Slow) ? Slow : Host;
}

void VirtualChip::TakeOnPacedLine(const std::string& Bytes) {
  Paced->SetBaud(CarriedRate());
  Paced->FromHost(Bytes, Clock::now());
}

// A byte is handed over when its last bit is in, but timed from its start bit, as the host's
// writes are: the chip then meets the bytes of a stream back to back, not a byte time apart.
void VirtualChip::DeliverArrivedBytes(TimePoint Now) {
  char Byte = 0;
  TimePoint At;
  while (Line.IsOpen() && Paced->HostByteArrived(Now, Byte, At))
    TakeHostBytes(std::string(1, Byte), At - Paced->ByteTime());
}

void VirtualChip::SendToHost(const std::string& Bytes, TimePoint At) {
  if (!Paced) {
    Line.Send(Bytes);
  } else if (!Bytes.empty()) {
    Paced->SetBaud(CarriedRate());
    Paced->FromChip(Bytes, At);
  }
}

void VirtualChip::OnReset() {
  {
    std::lock_guard Guard(ExchangeLock);
    if (!Current.Bytes.empty()) Previous = std::move(Current);
    Current = HostExchange{};
  }
  if (Paced) Paced->Clear();
  if (Settings.Faults.Absent)
    Note("reset (no chip on the line)");
  else if (RomBoots())
    Emulator->BootFromRom();
  else
    Boot.Reset(Clock::now());
}

void VirtualChip::TakeHostBytes(std::string Bytes, TimePoint At) {
  bool Unplug = false;
  {
    std::lock_guard Guard(ExchangeLock);
    const long Limit = Settings.Faults.CloseAfterBytes;
    if (Limit >= 0 && Current.Bytes.size() + Bytes.size() >= static_cast<std::size_t>(Limit)) {
      Bytes.resize(Limit - Current.Bytes.size());
      Unplug = true;
    }
    if (Current.Bytes.empty()) Current.FirstByteAt = At;
    Current.Bytes += Bytes;
  }
  if (Settings.Faults.Echo) SendToHost(Bytes, At);
  if (!Settings.Faults.Absent)
    SendToHost(RomBoots() ? Emulator->LineInput(Bytes, Line.LinkRate(), At)
                          : Boot.HostBytes(Bytes, Line.LinkRate(), At),
               At);
  if (!Unplug) return;
  Note("the chip's side of the line closes after " +
       std::to_string(Settings.Faults.CloseAfterBytes) + " host bytes");
  Line.Close();
  if (Paced) Paced->Clear();
}

}  // namespace sim
