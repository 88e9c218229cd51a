#include "sim/cog/Chip.h"

#include <algorithm>
#include <cmath>

#include "sim/cog/EmulationError.h"
#include "sim/cog/SpinLauncher.h"

namespace qkl::cog {

namespace {

constexpr uint32_t kBootLoaderAddress = 0xF800;
constexpr uint32_t kInterpreterAddress = 0xF004;
constexpr uint32_t kInterpreterPar = 0x0004;
constexpr uint8_t kShutdownClock = 0x02;
constexpr uint8_t kResetBit = 0x80;

}  // namespace

Chip::Chip(const ChipConfig& config) : sources_(config.clock) {
  ValidateClockSources(sources_);
  if (!config.romDirectory.empty()) hub_.LoadRom(config.romDirectory);
  for (uint32_t id = 0; id < kCogs; ++id) cogs_[id].id_ = id;
  Reset();
}

Chip::~Chip() = default;

void Chip::Reset() {
  for (Cog& cog : cogs_) StopCog(cog, cycle_);
  pending_.fill({});
  nextPendingAt_ = kNever;
  cogOutputs_.fill(0);
  cogDirections_.fill(0);
  UpdateLevels(cycle_);
  hub_.ResetLocks();
  fault_.clear();
  imageStarted_ = false;
  resetRequested_ = false;
  clockStopped_ = false;
  WriteClock(0, cycle_);
  if (hub_.HasRom()) StartLoading(cogs_[0], kBootLoaderAddress, 0, cycle_);
}

void Chip::LaunchImage() {
  constexpr uint32_t kPbaseAddress = 6;
  constexpr uint32_t kClockModeAddress = 4;
  if (hub_.ReadWord(kPbaseAddress) != 0x0010) {
    Shutdown();
    return;
  }
  const uint8_t mode = hub_.ReadByte(kClockModeAddress);
  if (mode & kResetBit) {
    Reset();
    return;
  }
  circuits_.Settle(mode, Seconds());
  WriteClock(mode, cycle_);
  if (hub_.HasRom())
    StartLoading(cogs_[0], kInterpreterAddress, kInterpreterPar, cycle_);
  else
    StartLauncher(cycle_);
}

void Chip::StartLauncher(uint64_t at) {
  Cog& cog = cogs_[0];
  StopCog(cog, at);
  cog.Clear(kInterpreterPar);
  launcher_ = std::make_unique<SpinLauncher>(hub_);
  launcherHubTurn_ = false;
  cog.phase_ = CogPhase::kNative;
  imageStarted_ = true;
  // As long as loading the interpreter would take.
  Schedule(cog, HubSlot(0, at + 1) + uint64_t{16} * kCogRegisters);
}

void Chip::Shutdown() {
  for (Cog& cog : cogs_) StopCog(cog, cycle_);
  while (CommitPins(cycle_ + 1)) {
  }
  WriteClock(kShutdownClock, cycle_);
}

void Chip::StartCog(uint32_t id, uint32_t codeAddress, uint32_t par) {
  StartLoading(cogs_[id & 7], codeAddress, par, cycle_);
}

void Chip::StopCog(uint32_t id) { StopCog(cogs_[id & 7], cycle_); }

// ---- time ----

// While the clock is stopped, time goes on at the last clock's rate; only the cogs freeze.
double Chip::SecondsAt(uint64_t cycle) const {
  if (cycle <= cycleAtBase_) return secondsAtBase_;
  return secondsAtBase_ + static_cast<double>(cycle - cycleAtBase_) / frequencyHz_;
}

uint64_t Chip::CycleAt(double seconds) const {
  if (seconds <= secondsAtBase_) return cycleAtBase_;
  return cycleAtBase_ + static_cast<uint64_t>(std::ceil((seconds - secondsAtBase_) * frequencyHz_));
}

void Chip::WriteClock(uint8_t value, uint64_t at) {
  secondsAtBase_ = SecondsAt(at);
  cycleAtBase_ = at;
  clockRegister_ = value;
  if (value & kResetBit) {
    resetRequested_ = true;
    stopAt_ = at;
    othersNext_ = 0;
    return;
  }
  const double frequency = ClockFrequency(value, sources_);
  circuits_.Write(value, secondsAtBase_);
  if (frequency == 0) {
    clockStopped_ = true;
    stopAt_ = at;
    othersNext_ = 0;
    return;
  }
  if (frequency != frequencyHz_) {
    frequencyChanged_ = true;
    stopAt_ = at;
    othersNext_ = 0;
  }
  frequencyHz_ = frequency;
}

// ---- scheduling ----

RunStop Chip::Run(uint64_t untilCycle, uint32_t watchedPins) {
  if (!fault_.empty()) throw EmulationError(fault_);
  watched_ = watchedPins;
  try {
    return RunEvents(std::max(untilCycle, cycle_));
  } catch (const EmulationError& error) {
    fault_ = FaultContext() + error.what();
    throw EmulationError(fault_);
  }
}

int Chip::EarliestCog(uint64_t& second) const {
  uint64_t first = kNever;
  second = kNever;
  int index = -1;
  for (int i = 0; i < kCogs; ++i) {
    const uint64_t at = cogs_[i].eventAt_;
    if (at < first) {
      second = first;
      first = at;
      index = i;
    } else if (at < second) {
      second = at;
    }
  }
  return index;
}

// Events are handled in time order. The earliest cog runs on by itself while no other
// event comes first; pin changes scheduled by any cog are committed before each event, and
// a commit that wakes a waiting cog hands the turn back to the outer loop.
RunStop Chip::RunEvents(uint64_t untilCycle) {
  if (clockStopped_) {
    while (CommitPins(untilCycle)) {
    }
    cycle_ = untilCycle;
    return RunStop::kClockStopped;
  }
  frequencyChanged_ = false;
  for (;;) {
    uint64_t second = kNever;
    const int index = EarliestCog(second);
    const uint64_t first = index < 0 ? kNever : cogs_[index].eventAt_;
    current_ = -1;
    if (first >= untilCycle) {
      if (nextPendingAt_ > untilCycle) {
        cycle_ = untilCycle;
        return RunStop::kReachedCycle;
      }
      if (CommitPins(nextPendingAt_)) {
        cycle_ = stopAt_;
        return RunStop::kPinChange;
      }
      continue;
    }
    current_ = index;
    Cog& cog = cogs_[index];
    othersNext_ = second;
    while (cog.eventAt_ <= othersNext_ && cog.eventAt_ < untilCycle) {
      if (nextPendingAt_ <= cog.eventAt_) {
        if (CommitPins(cog.eventAt_)) {
          cycle_ = stopAt_;
          return RunStop::kPinChange;
        }
        if (cog.eventAt_ > othersNext_) break;
      }
      switch (cog.phase_) {
        case CogPhase::kExecute: cog.Execute(*this); break;
        case CogPhase::kHubAccess: cog.FinishHubAccess(*this); break;
        case CogPhase::kLoading: cog.LoadNextLong(*this); break;
        case CogPhase::kWaitCnt: cog.FinishWaitCnt(*this); break;
        case CogPhase::kWaitPins: cog.CheckPins(*this); break;
        case CogPhase::kNative: StepLauncher(cog); break;
        default: break;
      }
    }
    if (resetRequested_) {
      cycle_ = stopAt_;
      Reset();
      return RunStop::kSoftwareReset;
    }
    if (clockStopped_) {
      cycle_ = stopAt_;
      return RunStop::kClockStopped;
    }
    if (frequencyChanged_) {
      frequencyChanged_ = false;
      cycle_ = stopAt_;
      return RunStop::kClockChanged;
    }
  }
}

void Chip::Schedule(Cog& cog, uint64_t eventAt) {
  cog.eventAt_ = eventAt;
  othersNext_ = std::min(othersNext_, eventAt);
}

std::string Chip::FaultContext() const {
  if (current_ < 0) return "cycle " + std::to_string(cycle_) + ": ";
  const Cog& cog = cogs_[current_];
  const std::string at = ", cycle " + std::to_string(cog.eventAt_) + ": ";
  if (cog.phase_ == CogPhase::kLoading) return "cog " + std::to_string(cog.id_) + " loading" + at;
  if (cog.phase_ == CogPhase::kNative) return "Spin launcher in cog 0" + at;
  return cog.Describe() + at;
}

// ---- hub ----

// Cog n's requests are taken at the end of its 2-clock turn, clocks 16k + 2n + 1.
uint64_t Chip::HubSlot(uint32_t cogId, uint64_t earliest) {
  const uint64_t phase = 2 * cogId + 1;
  return earliest + ((phase - earliest) & 15);
}

Chip::HubOutcome Chip::HubOperation(Cog& requester, uint32_t operation, uint32_t d, uint64_t at) {
  switch (operation) {
    case kClkSet: WriteClock(static_cast<uint8_t>(d), at); return {d, false, false};
    case kCogId: return {requester.id_, AllCogsActive(), requester.id_ == 0};
    case kCogInit: return IsHandOver(d) ? HandOver(at) : CogInit(d, at);
    case kCogStop: {
      const bool allActive = AllCogsActive();
      StopCog(cogs_[d & 7], at);
      return {d & 7, allActive, (d & 7) == 0};
    }
    case kLockNew: {
      const Hub::LockOutcome lock = hub_.LockNew();
      return {lock.id, lock.c, lock.id == 0};
    }
    case kLockRet: {
      const Hub::LockOutcome lock = hub_.LockReturn(d);
      return {lock.id, lock.c, lock.id == 0};
    }
    default: {
      const Hub::LockOutcome lock = hub_.LockSet(d, operation == kLockSet);
      return {lock.id, lock.c, lock.id == 0};
    }
  }
}

// D = PAR>>2 in bits 31:18, code address>>2 in 17:4, "any free cog" in bit 3, cog id in 2:0.
Chip::HubOutcome Chip::CogInit(uint32_t d, uint64_t at) {
  uint32_t id = d & 7;
  if (d & 8) {
    const auto free =
        std::find_if(cogs_.begin(), cogs_.end(), [](const Cog& cog) { return !cog.Active(); });
    if (free == cogs_.end()) return {7, true, false};
    id = free->id_;
  }
  StartLoading(cogs_[id], ((d >> 4) & 0x3FFF) << 2, ((d >> 18) & 0x3FFF) << 2, at);
  return {id, false, id == 0};
}

// A program that has put an image into hub RAM starts it as the boot loader does: cog 0
// restarted into the ROM's Spin interpreter with the image's header at PAR.
bool Chip::IsHandOver(uint32_t d) const {
  constexpr uint32_t kCogZeroOnInterpreter = (kInterpreterPar << 16) | (kInterpreterAddress << 2);
  return !hub_.HasRom() && d == kCogZeroOnInterpreter;
}

// Without a ROM the native launcher stands in for the interpreter, as after LaunchImage().
Chip::HubOutcome Chip::HandOver(uint64_t at) {
  StartLauncher(at);
  return {0, false, true};
}

void Chip::StartLoading(Cog& cog, uint32_t codeAddress, uint32_t par, uint64_t at) {
  if (cog.id_ == 0 && codeAddress == kInterpreterAddress && par == kInterpreterPar)
    imageStarted_ = true;
  StopCog(cog, at);
  cog.Clear(par & 0xFFFC);
  cog.loadAddress_ = codeAddress & 0xFFFC;
  cog.loadIndex_ = 0;
  cog.phase_ = CogPhase::kLoading;
  Schedule(cog, HubSlot(cog.id_, at + 1));
}

void Chip::StopCog(Cog& cog, uint64_t at) {
  if (cog.phase_ == CogPhase::kNative) launcher_.reset();
  cog.phase_ = CogPhase::kStopped;
  cog.eventAt_ = kNever;
  cog.regs_[kOuta] = 0;
  cog.regs_[kDira] = 0;
  parked_ &= ~(1u << cog.id_);
  SchedulePins(cog.id_, 0, 0, at + 1);
}

bool Chip::AllCogsActive() const {
  return std::all_of(cogs_.begin(), cogs_.end(), [](const Cog& cog) { return cog.Active(); });
}

// ---- pins ----

// A write that leaves the cog's drive as it is, with nothing else pending, changes no pin: a
// busy loop that rewrites OUTA with the same level costs no pin event.
void Chip::OutputsChanged(const Cog& cog, uint64_t effective) {
  const uint32_t id = cog.id_;
  const uint32_t outputs = cog.regs_[kOuta];
  const uint32_t directions = cog.regs_[kDira];
  if (pending_[id].at == kNever && cogDirections_[id] == directions &&
      cogOutputs_[id] == (outputs & directions))
    return;
  SchedulePins(id, outputs, directions, effective);
}

void Chip::SchedulePins(uint32_t cogId, uint32_t outputs, uint32_t directions, uint64_t at) {
  pending_[cogId] = {at, outputs, directions};
  nextPendingAt_ = std::min(nextPendingAt_, at);
}

// Applies scheduled output changes up to `upTo` in time order; true (with stopAt_) at the
// first one that changes a watched pin.
bool Chip::CommitPins(uint64_t upTo) {
  while (nextPendingAt_ <= upTo) {
    const auto earliest =
        std::min_element(pending_.begin(), pending_.end(),
                         [](const PendingPins& a, const PendingPins& b) { return a.at < b.at; });
    const uint32_t id = static_cast<uint32_t>(earliest - pending_.begin());
    const uint64_t at = earliest->at;
    cogDirections_[id] = earliest->directions;
    cogOutputs_[id] = earliest->outputs & earliest->directions;
    earliest->at = kNever;
    nextPendingAt_ =
        std::min_element(pending_.begin(), pending_.end(),
                         [](const PendingPins& a, const PendingPins& b) { return a.at < b.at; })
            ->at;
    if (UpdateLevels(at)) return true;
  }
  return false;
}

bool Chip::UpdateLevels(uint64_t at) {
  chipDirections_ = 0;
  chipOutputs_ = 0;
  for (int i = 0; i < kCogs; ++i) {
    chipDirections_ |= cogDirections_[i];
    chipOutputs_ |= cogOutputs_[i];
  }
  const uint32_t undriven = ~chipDirections_;
  const uint32_t levels = chipOutputs_ | (undriven & externalDriven_ & externalLevels_) |
                          (undriven & ~externalDriven_ & pullUps_);
  const uint32_t changed = levels ^ levels_;
  levels_ = levels;
  if (changed == 0) return false;
  if (parked_) WakeWaiters(at);
  if (changed & watched_) {
    stopAt_ = at;
    return true;
  }
  return false;
}

void Chip::DriveExternally(uint32_t pins, uint32_t levels) {
  externalDriven_ |= pins;
  externalLevels_ = (externalLevels_ & ~pins) | (levels & pins);
  UpdateLevels(cycle_);
}

void Chip::ReleaseExternally(uint32_t pins) {
  externalDriven_ &= ~pins;
  UpdateLevels(cycle_);
}

void Chip::SetPullUps(uint32_t pins) {
  pullUps_ = pins;
  UpdateLevels(cycle_);
}

void Chip::Park(Cog& cog) {
  cog.phase_ = CogPhase::kParked;
  cog.eventAt_ = kNever;
  parked_ |= 1u << cog.id_;
}

void Chip::WakeWaiters(uint64_t at) {
  for (Cog& cog : cogs_) {
    if ((parked_ & (1u << cog.id_)) && cog.PinsSatisfied(levels_)) {
      parked_ &= ~(1u << cog.id_);
      cog.Resume(at);
      othersNext_ = std::min(othersNext_, cog.eventAt_);
    }
  }
}

// ---- native launcher ----

// One bytecode per event; COGINIT and the final COGSTOP wait for cog 0's hub window.
void Chip::StepLauncher(Cog& cog) {
  const uint64_t at = cog.eventAt_;
  if (!launcherHubTurn_) {
    launcherHubTurn_ = launcher_->Execute(hub_) != SpinLauncher::Action::kNone;
    cog.eventAt_ = launcherHubTurn_ ? HubSlot(0, at + 1) : at + SpinLauncher::kCyclesPerBytecode;
    return;
  }
  launcherHubTurn_ = false;
  if (launcher_->Pending() == SpinLauncher::Action::kStop) {
    StopCog(cog, at);
    return;
  }
  const HubOutcome outcome = CogInit(launcher_->CogInitValue(), at);
  launcher_->CogInitDone(outcome.value, outcome.c);
  cog.eventAt_ = at + SpinLauncher::kCyclesPerBytecode;
}

}  // namespace qkl::cog
