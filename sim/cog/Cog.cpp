#include "sim/cog/Cog.h"

#include "sim/cog/Chip.h"
#include "sim/cog/EmulationError.h"

namespace qkl::cog {

namespace {

constexpr uint32_t kCounterModeShift = 26;
constexpr uint32_t kCounterModeMask = 0x1F;

bool IsBranch(uint32_t opcode) { return opcode >= kDjnz && opcode <= kTjz; }

bool BranchTaken(uint32_t opcode, uint32_t d, const AluResult& result) {
  if (opcode == kDjnz) return result.value != 0;
  return opcode == kTjnz ? d != 0 : d == 0;
}

}  // namespace

void Cog::Refuse(const std::string& what) { throw EmulationError(what); }

std::string Cog::Describe() const {
  const uint32_t word = phase_ == CogPhase::kExecute ? instr_ : latchedWord_;
  return "cog " + std::to_string(id_) + " at " + Hex(pc_, 3) + " (" + Hex(word, 8) + " " +
         MnemonicOf(word) + ")";
}

void Cog::Clear(uint32_t par) {
  regs_.fill(0);
  par_ = par;
  pc_ = 0;
  instr_ = 0;
  c_ = false;
  z_ = false;
}

// PAR, CNT and INA read as a source give the live value; as a destination, the shadow.
uint32_t Cog::ReadSource(const Chip& chip, uint32_t address) const {
  if (address - kPar > kIna - kPar) return regs_[address];
  if (address == kPar) return par_;
  if (address == kCnt) return Chip::CounterAt(eventAt_);
  return chip.levels_;
}

void Cog::WriteRegister(Chip& chip, uint32_t address, uint32_t value, uint64_t effective) {
  regs_[address] = value;
  if (address < kOuta) return;
  switch (address) {
    case kOuta:
    case kDira: chip.OutputsChanged(*this, effective); break;
    case kCtra:
    case kCtrb:
      if ((value >> kCounterModeShift) & kCounterModeMask)
        Refuse("counter mode " + std::to_string((value >> kCounterModeShift) & kCounterModeMask) +
               " written to " + (address == kCtra ? "CTRA" : "CTRB") +
               ": the counters are not modelled");
      break;
    case kVcfg:
      if (value != 0) Refuse("VCFG := " + Hex(value, 8) + ": the video generator is not modelled");
      break;
    default: break;  // OUTB, DIRB, FRQx, PHSx, VSCL: plain registers while the counters are off
  }
}

void Cog::LatchNext(uint32_t target) {
  nextPc_ = target;
  nextInstr_ = regs_[target];
}

void Cog::Complete(Chip& chip, uint32_t word, const AluResult& result, uint64_t effective) {
  if (WritesZ(word)) z_ = result.z;
  if (WritesC(word)) c_ = result.c;
  if (WritesResult(word) && result.writable)
    WriteRegister(chip, DestOf(word), result.value, effective);
}

// The event of an instruction is its third clock: S and D are latched, INA/CNT sampled and
// the next instruction fetched; the result is written in the fourth clock. So the fetched
// word is the one from before this instruction's write.
void Cog::Execute(Chip& chip) {
  const uint32_t word = instr_;
  const uint64_t start = eventAt_ - 2;
  ++chip.instructions_;
  if (pc_ == 0x1FF) Refuse("execution reached register $1FF, which the chip does not execute");
  if (!ConditionHolds(ConditionOf(word), c_, z_)) {
    pc_ = Next(pc_);
    instr_ = regs_[pc_];
    eventAt_ = start + 6;
    return;
  }
  const uint32_t opcode = OpcodeOf(word);
  const uint32_t s = IsImmediate(word) ? SrcOf(word) : ReadSource(chip, SrcOf(word));
  const uint32_t d = regs_[DestOf(word)];
  if (opcode <= kHubOp) return BeginHubAccess(word, d, s, start);
  if (opcode >= kWaitPeq) return BeginWait(word, d, s, start);
  if (opcode < kRor)
    Refuse("the instruction is not part of the P8X32A (opcode " + std::to_string(opcode) + ")");

  const AluResult result = Alu(opcode, d, s, c_, z_, pc_);
  uint32_t target = Next(pc_);
  uint64_t end = start + 4;
  bool refetch = false;
  if (opcode == kJmpRet) {
    target = s & 0x1FF;
  } else if (IsBranch(opcode)) {
    if (opcode != kDjnz && WritesResult(word))
      Refuse("TJZ/TJNZ with WR: the written value is not documented");
    if (BranchTaken(opcode, d, result)) {
      target = s & 0x1FF;
    } else {
      end = start + 8;  // the fetch assumed the jump; the fall-through is fetched again
      refetch = true;
    }
  }
  const uint32_t fetched = regs_[target];
  Complete(chip, word, result, start + 4);
  pc_ = target;
  instr_ = refetch ? regs_[target] : fetched;
  eventAt_ = end + 2;
}

void Cog::BeginHubAccess(uint32_t word, uint32_t d, uint32_t s, uint64_t start) {
  const uint32_t opcode = OpcodeOf(word);
  if (opcode < kHubOp) {
    if (WritesResult(word) && WritesC(word))
      Refuse("WC on a hub read: its C flag is not documented");
    if (!WritesResult(word) && (WritesC(word) || WritesZ(word)))
      Refuse("WC/WZ on a hub write: its flags are not documented");
  } else if ((s & 7) == kClkSet && (WritesResult(word) || WritesC(word) || WritesZ(word))) {
    Refuse("CLKSET with WR/WC/WZ: its result and flags are not documented");
  }
  latchedWord_ = word;
  latchedD_ = d;
  latchedS_ = s;
  LatchNext(Next(pc_));
  phase_ = CogPhase::kHubAccess;
  eventAt_ = Chip::HubSlot(id_, start + 3);
}

// The hub takes the request at `eventAt_`; the instruction ends 5 clocks later.
void Cog::FinishHubAccess(Chip& chip) {
  const uint64_t at = eventAt_;
  const uint32_t word = latchedWord_;
  const uint32_t opcode = OpcodeOf(word);
  const uint32_t address = latchedS_;
  if (opcode == kHubOp) {
    const Chip::HubOutcome outcome = chip.HubOperation(*this, latchedS_ & 7, latchedD_, at);
    if (phase_ != CogPhase::kHubAccess) return;  // this cog stopped or restarted itself
    Complete(chip, word, {outcome.value, outcome.c, outcome.z, true}, at + 5);
  } else if (WritesResult(word)) {
    const Hub& hub = chip.hub_;
    const uint32_t value = opcode == kRdWrByte   ? hub.ReadByte(address)
                           : opcode == kRdWrWord ? hub.ReadWord(address)
                                                 : hub.ReadLong(address);
    Complete(chip, word, {value, false, value == 0, true}, at + 5);
  } else if (opcode == kRdWrByte) {
    chip.hub_.WriteByte(address, static_cast<uint8_t>(latchedD_));
  } else if (opcode == kRdWrWord) {
    chip.hub_.WriteWord(address, static_cast<uint16_t>(latchedD_));
  } else {
    chip.hub_.WriteLong(address, latchedD_);
  }
  Resume(at + 2);
}

void Cog::BeginWait(uint32_t word, uint32_t d, uint32_t s, uint64_t start) {
  const uint32_t opcode = OpcodeOf(word);
  if (opcode == kWaitVid) Refuse("WAITVID: the video generator is not modelled");
  LatchNext(Next(pc_));
  latchedWord_ = word;
  latchedD_ = d;
  latchedS_ = s;
  if (opcode == kWaitCnt) {
    // CNT is first compared with D in the fourth clock; the instruction ends 3 clocks after a
    // match.
    phase_ = CogPhase::kWaitCnt;
    eventAt_ = start + 3 + static_cast<uint32_t>(d - Chip::CounterAt(start + 3));
    return;
  }
  if (WritesResult(word) || WritesC(word) || WritesZ(word))
    Refuse("WAITPEQ/WAITPNE with WR/WC/WZ: the written value and flags are not documented");
  phase_ = CogPhase::kWaitPins;
  eventAt_ = start + 3;
}

void Cog::FinishWaitCnt(Chip& chip) {
  Complete(chip, latchedWord_, Alu(kWaitCnt, latchedD_, latchedS_, c_, z_, pc_), eventAt_ + 3);
  Resume(eventAt_);
}

bool Cog::PinsSatisfied(uint32_t levels) const {
  const bool equal = (levels & latchedS_) == latchedD_;
  return equal == (OpcodeOf(latchedWord_) == kWaitPeq);
}

void Cog::CheckPins(Chip& chip) {
  if (PinsSatisfied(chip.levels_)) {
    Resume(eventAt_);
  } else {
    chip.Park(*this);
  }
}

// A wait that matched at `waitEnd` (or a hub access served then) finishes 3 clocks later,
// where the next instruction starts.
void Cog::Resume(uint64_t waitEnd) {
  pc_ = nextPc_;
  instr_ = nextInstr_;
  phase_ = CogPhase::kExecute;
  eventAt_ = waitEnd + 3 + 2;
}

void Cog::LoadNextLong(Chip& chip) {
  if (loadIndex_ < kLoadedLongs) {
    regs_[loadIndex_] = chip.hub_.ReadLongForCogLoad((loadAddress_ + 4 * loadIndex_) & 0xFFFF);
  } else {
    regs_[loadIndex_] = 0;
  }
  if (++loadIndex_ < kCogRegisters) {
    eventAt_ += 16;
    return;
  }
  pc_ = 0;
  instr_ = regs_[0];
  phase_ = CogPhase::kExecute;
  eventAt_ += 5 + 2;
}

}  // namespace qkl::cog
