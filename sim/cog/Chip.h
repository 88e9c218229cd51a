// The whole Propeller 1: eight cogs, hub memory with its round-robin window, the 32 I/O
// pins, the system counter and the clock. Time advances only inside Run(), in clock cycles;
// idle cogs (WAITCNT, WAITPEQ/WAITPNE, stopped) are skipped over rather than stepped.
//
// Models of the outside world (serial line, EEPROM) drive pins with DriveExternally() /
// ReleaseExternally() between runs and watch the line levels, stopping Run() at each change
// of the pins they watch.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "sim/cog/ClockMode.h"
#include "sim/cog/Cog.h"
#include "sim/cog/Hub.h"

namespace qkl::cog {

class SpinLauncher;

struct ChipConfig {
  ClockSources clock;
  std::filesystem::path romDirectory;  // empty: no ROM; reads of $8000-$FFFF are refused
};

enum class RunStop {
  kReachedCycle,   // Cycle() == the cycle asked for
  kPinChange,      // a watched pin changed level at Cycle()
  kClockChanged,   // CLK was written and the frequency changed at Cycle(): times in
                   // seconds map to other cycles from here on
  kClockStopped,   // CLK was written with a value that leaves no clock (at Cycle(), or
                   // before this run, which then only let time pass); Reset() restarts
  kSoftwareReset,  // CLK bit 7 was written: the chip has been reset (as by Reset())
};

class Chip {
 public:
  static constexpr int kCogs = 8;
  static constexpr uint64_t kNever = Cog::kNever;
  static constexpr uint32_t kAllPins = 0xFFFFFFFF;

  // Throws std::invalid_argument for clock settings out of range and std::runtime_error for
  // unreadable ROM files. Ends with Reset().
  explicit Chip(const ChipConfig& config);
  ~Chip();
  Chip(const Chip&) = delete;
  Chip& operator=(const Chip&) = delete;

  // The RESn pin: every cog stops, pins are released, CLK = $00 (RCFAST), locks are freed.
  // With a ROM, cog 0 then loads the boot loader from $F800 (PAR = 0). Hub RAM is kept. The
  // cycle count and Seconds() carry on from where they were.
  void Reset();

  // What the boot loader does once an image is in RAM: unless the word at $0006 is $0010 the
  // chip shuts down; otherwise CLK := the image's clkmode byte and cog 0 starts the Spin
  // interpreter (from the ROM at $F004 with PAR = $0004, or without a ROM the native launcher,
  // which runs only what a launcher method needs). The boot loader's wait for the oscillator
  // and PLL to settle before the switch is left to the caller; they count as settled.
  //
  // Without a ROM, a program's COGINIT of cog 0 at $F004 with PAR = $0004 (a loader handing
  // over the image it has put into RAM) also starts the native launcher.
  void LaunchImage();

  // The boot loader's shutdown: every cog stops, pins are released, CLK := $02 (no clock).
  void Shutdown();

  // COGINIT from outside: (re)starts cog `id` loading from `codeAddress` with `par`.
  void StartCog(uint32_t id, uint32_t codeAddress, uint32_t par);
  // COGSTOP from outside, as a stand-in for a cog that dies: cog `id` stops, its pins released.
  void StopCog(uint32_t id);

  // Runs until `untilCycle` or until a pin in `watchedPins` changes level, whichever is first.
  // Throws EmulationError (naming cog, address, instruction and cycle) when a program does
  // something not modelled; the chip then stays stopped with that error until Reset().
  RunStop Run(uint64_t untilCycle, uint32_t watchedPins = kAllPins);

  uint64_t Cycle() const { return cycle_; }
  // CNT as the cogs see it at `cycle`.
  static uint32_t CounterAt(uint64_t cycle) { return static_cast<uint32_t>(cycle); }

  // Time in seconds: the cycles counted at each frequency the clock has run at. While the
  // clock is stopped, cycles still count at the last frequency (the cogs are frozen), so that
  // the world outside keeps its time.
  double Seconds() const { return SecondsAt(cycle_); }
  double SecondsAt(uint64_t cycle) const;
  // The first cycle at or after `seconds`, at the present rate.
  uint64_t CycleAt(double seconds) const;
  double FrequencyHz() const { return clockStopped_ ? 0 : frequencyHz_; }
  uint8_t ClockRegister() const { return clockRegister_; }
  // Cog 0 has started the Spin interpreter on the image at $0004 since the last reset.
  bool ImageStarted() const { return imageStarted_; }
  bool ClockStopped() const { return clockStopped_; }

  // Pin levels: a pin some cog drives (DIRA) has the OR of those cogs' outputs; otherwise the
  // level driven from outside; otherwise high if pulled up, else low.
  uint32_t PinLevels() const { return levels_; }
  uint32_t ChipDirections() const { return chipDirections_; }
  uint32_t ChipOutputs() const { return chipOutputs_; }
  void DriveExternally(uint32_t pins, uint32_t levels);
  void ReleaseExternally(uint32_t pins);
  void SetPullUps(uint32_t pins);
  uint32_t PullUps() const { return pullUps_; }

  Hub& Memory() { return hub_; }
  const Hub& Memory() const { return hub_; }
  const Cog& CogAt(uint32_t id) const { return cogs_[id & 7]; }
  uint64_t InstructionCount() const { return instructions_; }

 private:
  friend class Cog;

  struct PendingPins {
    uint64_t at = kNever;
    uint32_t outputs = 0;
    uint32_t directions = 0;
  };
  struct HubOutcome {
    uint32_t value;
    bool c;
    bool z;
  };

  RunStop RunEvents(uint64_t untilCycle);
  int EarliestCog(uint64_t& second) const;
  void Schedule(Cog& cog, uint64_t eventAt);

  static uint64_t HubSlot(uint32_t cogId, uint64_t earliest);
  HubOutcome HubOperation(Cog& requester, uint32_t operation, uint32_t d, uint64_t at);
  HubOutcome CogInit(uint32_t d, uint64_t at);
  bool IsHandOver(uint32_t d) const;
  HubOutcome HandOver(uint64_t at);
  void StartLauncher(uint64_t at);
  void StartLoading(Cog& cog, uint32_t codeAddress, uint32_t par, uint64_t at);
  void StopCog(Cog& cog, uint64_t at);
  bool AllCogsActive() const;
  void WriteClock(uint8_t value, uint64_t at);
  void StepLauncher(Cog& cog);

  void OutputsChanged(const Cog& cog, uint64_t effective);
  void SchedulePins(uint32_t cogId, uint32_t outputs, uint32_t directions, uint64_t at);
  bool CommitPins(uint64_t upTo);
  bool UpdateLevels(uint64_t at);
  void Park(Cog& cog);
  void WakeWaiters(uint64_t at);
  std::string FaultContext() const;

  ClockSources sources_;
  Hub hub_;
  std::array<Cog, kCogs> cogs_;
  std::unique_ptr<SpinLauncher> launcher_;
  bool launcherHubTurn_ = false;

  uint64_t cycle_ = 0;
  uint64_t othersNext_ = 0;  // the earliest event of the cogs other than the running one
  uint64_t instructions_ = 0;
  int current_ = -1;
  std::string fault_;

  uint8_t clockRegister_ = 0;
  ClockCircuits circuits_;
  bool imageStarted_ = false;
  double frequencyHz_ = 0;
  bool clockStopped_ = false;
  bool resetRequested_ = false;
  bool frequencyChanged_ = false;
  uint64_t stopAt_ = 0;
  double secondsAtBase_ = 0;
  uint64_t cycleAtBase_ = 0;

  std::array<PendingPins, kCogs> pending_{};
  uint64_t nextPendingAt_ = kNever;
  std::array<uint32_t, kCogs> cogOutputs_{};
  std::array<uint32_t, kCogs> cogDirections_{};
  uint32_t chipOutputs_ = 0;
  uint32_t chipDirections_ = 0;
  uint32_t externalDriven_ = 0;
  uint32_t externalLevels_ = 0;
  uint32_t pullUps_ = 0;
  uint32_t levels_ = 0;
  uint32_t watched_ = 0;
  uint32_t parked_ = 0;  // bit per cog in kParked
};

}  // namespace qkl::cog
