#include "sim/VirtualChip.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

namespace qkl::sim {

namespace {

using namespace std::chrono_literals;

// While the emulator runs, the line wakes this often to let chip time follow the wall clock
// and pass on what the chip sent meanwhile: once a USB frame, as an adapter passes on what it
// received, so that an answer the program works out after the host's bytes is not held back
// (at 5 ms, each of a fast load's answers came 6 to 9 ms after its packet). On a paced line
// what it sent goes out at the time the chip sent it (SendCaughtUp), so the step does not add to
// the adapter's latency timer.
constexpr auto kCatchUpStep = 1ms;
// A time limit is judged just after it has run out.
constexpr auto kPastDeadline = 1ms;
// The paced line wakes for the host's bytes that reach the chip no more often than this, once a
// USB frame, unless the adapter's transmit buffer needs a packet sooner; each byte keeps its own
// time on the line.
constexpr auto kPacedGrain = 1ms;

// A slow line is a paced one, and the paced line keeps the chip's working times.
ChipSettings InForce(ChipSettings settings) {
  if (settings.faults.slowLineBaud > 0) settings.paced = true;
  if (settings.paced) settings.instant = false;
  return settings;
}

timespec TimespecOf(Duration span) {
  const auto nanoseconds =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(span, Duration::zero()));
  return {static_cast<time_t>(nanoseconds.count() / 1'000'000'000),
          static_cast<long>(nanoseconds.count() % 1'000'000'000)};
}

}  // namespace

VirtualChip::VirtualChip(const ChipSettings& chosen, const ChipLog& log, ImageRunner* runner)
    : settings_(InForce(chosen)),
      log_(log),
      eeprom_(settings_.eepromPath),
      emulator_(settings_.romDirectory.empty() && (runner || !settings_.runImages)
                    ? nullptr
                    : std::make_unique<CogImageRunner>(settings_, eeprom_, log)),
      boot_(settings_, eeprom_, log, runner ? runner : emulator_.get()),
      paced_(settings_.paced ? std::make_unique<PacedLine>(
                                   PacedLine::kDefaultBaud,
                                   std::chrono::milliseconds(settings_.adapterLatencyMs))
                             : nullptr) {
  if (::pipe2(stopPipe_, O_NONBLOCK | O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe");
}

VirtualChip::~VirtualChip() {
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

void VirtualChip::Note(const std::string& text) const {
  if (log_) log_(text);
}

void VirtualChip::Stop() {
  const char byte = 0;
  [[maybe_unused]] const ssize_t written = ::write(stopPipe_[1], &byte, 1);
}

VirtualChip::HostExchange VirtualChip::LastExchange() const {
  std::lock_guard guard(exchangeLock_);
  return current_.bytes.empty() ? previous_ : current_;
}

bool VirtualChip::EmulatorRuns() const { return emulator_ && emulator_->Runs(); }

std::optional<TimePoint> VirtualChip::NextWake(TimePoint now) const {
  std::optional<TimePoint> wake;
  const auto consider = [&](TimePoint at) {
    if (!wake || at < *wake) wake = at;
  };
  if (const auto deadline = boot_.NextDeadline(); deadline && !settings_.faults.absent)
    consider(*deadline + kPastDeadline);
  if (EmulatorRuns()) consider(now + kCatchUpStep);
  if (!paced_) return wake;
  if (const auto arrives = paced_->NextHostByteDone())
    consider(std::max(*arrives, now + kPacedGrain));
  if (const auto handOver = paced_->NextHandOver()) consider(*handOver);
  if (const auto room = paced_->PacketRoomAt(now)) consider(*room);
  return wake;
}

void VirtualChip::Run() {
  OnReset();
  for (;;) {
    const TimePoint now = Clock::now();
    const bool takesHostBytes = !paced_ || paced_->HostRoom(now) > 0;
    const short masterEvents =
        (takesHostBytes ? POLLIN : 0) | POLLPRI | (line_.WantsWrite() ? POLLOUT : 0);
    pollfd watched[3] = {{stopPipe_[0], POLLIN, 0},
                         {line_.MasterFd(), masterEvents, 0},
                         {line_.WatchFd(), POLLIN, 0}};
    const bool waiting = HostBytesWaiting(masterEvents);
    const std::optional<TimePoint> wake = waiting ? now : NextWake(now);
    const timespec wait = TimespecOf(wake ? *wake - now : Duration::zero());
    if (::ppoll(watched, 3, wake ? &wait : nullptr, nullptr) < 0 && errno != EINTR)
      throw std::system_error(errno, std::generic_category(), "ppoll");
    const TimePoint woke = Clock::now();
    if (watched[0].revents) return;
    hostRate_ = line_.LinkRate();
    hostStopBits_ = line_.LinkStopBits();
    if (emulator_) emulator_->SetHostStopBits(hostStopBits_);
    if (watched[2].revents) line_.ServiceWatch();
    if (watched[1].revents & POLLOUT) line_.WritePending();
    if (watched[1].revents & (POLLIN | POLLPRI))
      ServeMaster(ArrivalOf(waiting, woke, wake));
    else if (takesHostBytes)
      quietAt_ = woke;
    if (paced_) DeliverArrivedBytes(Clock::now());
    if (!settings_.faults.absent && !RomBoots()) boot_.AdvanceTo(Clock::now());
    if (EmulatorRuns()) SendCaughtUp(Clock::now());
    if (paced_) line_.Send(paced_->ReachedHost(Clock::now()));
  }
}

// Whether the host's bytes were already waiting when the line is about to be watched: they came
// while this thread was busy (the emulator catching up, or the machine running something else).
bool VirtualChip::HostBytesWaiting(short masterEvents) const {
  pollfd master = {line_.MasterFd(), static_cast<short>(masterEvents & (POLLIN | POLLPRI)), 0};
  return master.events != 0 && ::poll(&master, 1, 0) > 0 && (master.revents & (POLLIN | POLLPRI));
}

// The host's bytes came after the line was last seen quiet. Found waiting, or found by a wake
// that came late, they may have come at any moment since then: the chip gives them the earliest
// it cannot rule out, and no later than the wake it meant to keep (the end of a time limit).
// So a busy machine that holds this thread up neither makes a prompt host look late nor lets the
// emulated chip run on through a silence that the host never left on the line.
TimePoint VirtualChip::ArrivalOf(bool waiting, TimePoint woke,
                                 std::optional<TimePoint> wake) const {
  if (waiting) return quietAt_;
  if (wake && woke > *wake) return std::max(quietAt_, std::min(woke, *wake - kPastDeadline));
  return woke;
}

// Only the first read has the arrival worked out before it: what a later read finds came after
// the read before it returned, and is stamped then, however long taking those bytes took.
void VirtualChip::ServeMaster(TimePoint arrival) {
  PtyLine::Event taken;
  while (line_.Read(taken, paced_ ? paced_->HostRoom(Clock::now()) : PtyLine::kAllBytes)) {
    const TimePoint read = Clock::now();
    if (taken.reset)
      OnReset();
    else if (taken.flushed)
      Note("the host flushes the port's queues: no reset");
    else if (paced_)
      TakeOnPacedLine(taken.bytes);
    else
      TakeHostBytes(std::move(taken.bytes), std::max(arrival, quietAt_));
    arrival = read;
  }
  if (!paced_) quietAt_ = Clock::now();  // read until the line had nothing more
}

// The host's rate, or the slow line's when that is lower; 0 (a rate that could not be read)
// keeps the one before.
uint32_t VirtualChip::CarriedRate() const {
  const uint32_t host = hostRate_;
  const auto slow = static_cast<uint32_t>(settings_.faults.slowLineBaud);
  return slow > 0 && (host == 0 || host > slow) ? slow : host;
}

void VirtualChip::TakeOnPacedLine(const std::string& bytes) {
  paced_->SetBaud(CarriedRate(), hostStopBits_);
  paced_->FromHost(bytes, Clock::now());
}

// A byte is handed over when its last bit is in, but timed from its start bit, as the host's
// writes are: the chip then meets the bytes of a stream back to back, not a byte time apart.
void VirtualChip::DeliverArrivedBytes(TimePoint now) {
  char byte = 0;
  TimePoint at;
  while (line_.IsOpen() && paced_->HostByteArrived(now, byte, at))
    TakeHostBytes(std::string(1, byte), at - paced_->ByteTime());
}

void VirtualChip::SendToHost(const std::string& bytes, TimePoint at) {
  if (!paced_) {
    line_.Send(bytes);
  } else if (!bytes.empty()) {
    paced_->SetBaud(CarriedRate(), hostStopBits_);
    paced_->FromChip(bytes, at);
  }
}

// On a paced line, what the chip sent while it caught up goes out when the chip sent it, not at
// this wake up to a catch-up step later: only the adapter's latency timer holds it back then, as
// it holds back a real chip's answers.
void VirtualChip::SendCaughtUp(TimePoint now) {
  std::vector<TimePoint> startedAt;
  const std::string bytes = emulator_->CatchUp(now, line_.LinkRate(), startedAt);
  if (!paced_) {
    SendToHost(bytes, now);
    return;
  }
  for (std::size_t index = 0; index < bytes.size(); ++index)
    SendToHost(bytes.substr(index, 1), std::min(startedAt[index], now));
}

void VirtualChip::OnReset() {
  {
    std::lock_guard guard(exchangeLock_);
    if (!current_.bytes.empty()) previous_ = std::move(current_);
    current_ = HostExchange{};
  }
  if (paced_) paced_->Clear();
  quietAt_ = Clock::now();
  if (settings_.faults.absent)
    Note("reset (no chip on the line)");
  else if (RomBoots())
    emulator_->BootFromRom();
  else
    boot_.Reset(Clock::now());
}

void VirtualChip::TakeHostBytes(std::string bytes, TimePoint at) {
  bool unplug = false;
  {
    std::lock_guard guard(exchangeLock_);
    const long limit = settings_.faults.closeAfterBytes;
    if (limit >= 0 && current_.bytes.size() + bytes.size() >= static_cast<std::size_t>(limit)) {
      bytes.resize(limit - current_.bytes.size());
      unplug = true;
    }
    if (current_.bytes.empty()) current_.firstByteAt = at;
    current_.bytes += bytes;
  }
  if (settings_.faults.echo) SendToHost(bytes, at);
  if (!settings_.faults.absent)
    SendToHost(RomBoots() ? emulator_->LineInput(bytes, hostRate_, at)
                          : boot_.HostBytes(bytes, hostRate_, at),
               at);
  if (!unplug) return;
  Note("the chip's side of the line closes after " +
       std::to_string(settings_.faults.closeAfterBytes) + " host bytes");
  line_.Close();
  if (paced_) paced_->Clear();
}

}  // namespace qkl::sim
