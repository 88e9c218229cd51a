// One cog: 512 registers, flags, program counter and the state of its instruction pipeline.
// The chip (Chip.h) schedules cogs; a cog acts only at its next event (`eventAt_`).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/cog/Alu.h"
#include "sim/cog/Instruction.h"

namespace qkl::cog {

class Chip;

enum class CogPhase : uint8_t {
  kStopped,
  kLoading,    // COGINIT is copying hub longs into the registers, one per hub window
  kExecute,    // next event: the third clock of the latched instruction
  kHubAccess,  // next event: the hub window that serves the latched hub instruction
  kWaitCnt,    // next event: the clock at which CNT matches the WAITCNT target
  kWaitPins,   // next event: the first comparison of a WAITPEQ/WAITPNE
  kParked,     // WAITPEQ/WAITPNE that only a pin change can end
  kNative,     // cog 0 running the native stand-in for the Spin launcher
};

class Cog {
 public:
  static constexpr uint64_t kNever = UINT64_MAX;

  uint32_t Id() const { return id_; }
  // Register RAM as a destination sees it (the shadow for PAR, CNT, INA).
  uint32_t Register(uint32_t address) const { return regs_[address & 0x1FF]; }
  uint32_t Par() const { return par_; }
  bool C() const { return c_; }
  bool Z() const { return z_; }
  // Address of the next instruction to run (or of the one waiting or on the hub).
  uint32_t Pc() const { return pc_; }
  CogPhase Phase() const { return phase_; }
  bool Active() const { return phase_ != CogPhase::kStopped; }

 private:
  friend class Chip;

  static uint32_t Next(uint32_t pc) { return (pc + 1) & 0x1FF; }

  void Execute(Chip& chip);
  void FinishHubAccess(Chip& chip);
  void LoadNextLong(Chip& chip);
  void FinishWaitCnt(Chip& chip);
  void CheckPins(Chip& chip);
  bool PinsSatisfied(uint32_t levels) const;
  void Resume(uint64_t waitEnd);

  void BeginHubAccess(uint32_t word, uint32_t d, uint32_t s, uint64_t start);
  void BeginWait(uint32_t word, uint32_t d, uint32_t s, uint64_t start);
  void Complete(Chip& chip, uint32_t word, const AluResult& result, uint64_t effective);
  uint32_t ReadSource(const Chip& chip, uint32_t address) const;
  void WriteRegister(Chip& chip, uint32_t address, uint32_t value, uint64_t effective);
  void LatchNext(uint32_t target);
  void Clear(uint32_t par);
  [[noreturn]] static void Refuse(const std::string& what);
  std::string Describe() const;

  std::array<uint32_t, kCogRegisters> regs_{};
  uint32_t id_ = 0;
  uint32_t par_ = 0;
  uint32_t pc_ = 0;
  uint32_t instr_ = 0;  // the word fetched for pc_ (fetched one instruction early)
  bool c_ = false;
  bool z_ = false;
  CogPhase phase_ = CogPhase::kStopped;
  uint64_t eventAt_ = kNever;

  // Latched by a hub or wait instruction until it completes.
  uint32_t latchedWord_ = 0;
  uint32_t latchedD_ = 0;
  uint32_t latchedS_ = 0;
  uint32_t nextPc_ = 0;
  uint32_t nextInstr_ = 0;

  // Progress of a cog load.
  uint32_t loadAddress_ = 0;
  uint32_t loadIndex_ = 0;
};

}  // namespace qkl::cog
