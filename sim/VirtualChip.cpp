#include "sim/VirtualChip.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace sim {

namespace {

// While the emulator runs, the line wakes this often to let chip time follow the wall clock
// and pass on what the chip sent meanwhile.
constexpr int CatchUpMs = 5;

}  // namespace

VirtualChip::VirtualChip(const ChipSettings& Settings, ChipLog Log, ImageRunner* Runner)
    : Settings(Settings),
      Log(Log),
      Eeprom(Settings.EepromPath),
      Emulator(Settings.RomDirectory.empty() && (Runner || !Settings.RunImages)
                   ? nullptr
                   : std::make_unique<CogImageRunner>(Settings, Eeprom, Log)),
      Boot(Settings, Eeprom, Log, Runner ? Runner : Emulator.get()) {
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

int VirtualChip::PollTimeoutMs() const {
  const int CatchUp = EmulatorRuns() ? CatchUpMs : -1;
  const auto Deadline = Boot.NextDeadline();
  if (Settings.Faults.Absent || !Deadline) return CatchUp;
  const auto Left = std::chrono::ceil<std::chrono::milliseconds>(*Deadline - Clock::now()).count();
  const int UntilDeadline = Left < 0 ? 0 : static_cast<int>(Left) + 1;
  return CatchUp < 0 ? UntilDeadline : std::min(UntilDeadline, CatchUp);
}

void VirtualChip::Run() {
  OnReset();
  for (;;) {
    pollfd Watched[3] = {{StopPipe[0], POLLIN, 0},
                         {Line.MasterFd(), static_cast<short>(POLLIN | (Line.WantsWrite() ? POLLOUT : 0)), 0},
                         {Line.WatchFd(), POLLIN, 0}};
    if (::poll(Watched, 3, PollTimeoutMs()) < 0 && errno != EINTR)
      throw std::system_error(errno, std::generic_category(), "poll");
    if (Watched[0].revents) return;
    if (Watched[2].revents) Line.ServiceWatch();
    if (Watched[1].revents & POLLOUT) Line.WritePending();
    if (Watched[1].revents & POLLIN) ServeMaster();
    if (!Settings.Faults.Absent && !RomBoots()) Boot.AdvanceTo(Clock::now());
    if (EmulatorRuns()) Line.Send(Emulator->CatchUp(Clock::now()));
  }
}

void VirtualChip::ServeMaster() {
  PtyLine::Event Taken;
  while (Line.Read(Taken)) {
    if (Taken.Reset)
      OnReset();
    else if (Taken.Bytes.empty())
      Note("the host flushes the port's queues: no reset");
    else
      TakeHostBytes(std::move(Taken.Bytes));
  }
}

void VirtualChip::OnReset() {
  {
    std::lock_guard Guard(ExchangeLock);
    if (!Current.Bytes.empty()) Previous = std::move(Current);
    Current = HostExchange{};
  }
  if (Settings.Faults.Absent)
    Note("reset (no chip on the line)");
  else if (RomBoots())
    Emulator->BootFromRom();
  else
    Boot.Reset(Clock::now());
}

void VirtualChip::TakeHostBytes(std::string Bytes) {
  const TimePoint Now = Clock::now();
  bool Unplug = false;
  {
    std::lock_guard Guard(ExchangeLock);
    const long Limit = Settings.Faults.CloseAfterBytes;
    if (Limit >= 0 && Current.Bytes.size() + Bytes.size() >= static_cast<std::size_t>(Limit)) {
      Bytes.resize(Limit - Current.Bytes.size());
      Unplug = true;
    }
    if (Current.Bytes.empty()) Current.FirstByteAt = Now;
    Current.Bytes += Bytes;
  }
  if (Settings.Faults.Echo) Line.Send(Bytes);
  if (!Settings.Faults.Absent)
    Line.Send(RomBoots() ? Emulator->LineInput(Bytes, Line.LinkRate(), Now) : Boot.HostBytes(Bytes, Line.LinkRate(), Now));
  if (!Unplug) return;
  Note("the chip's side of the line closes after " + std::to_string(Settings.Faults.CloseAfterBytes) + " host bytes");
  Line.Close();
}

}  // namespace sim
