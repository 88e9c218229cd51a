#include "sim/cog/Alu.h"

#include <bit>

#include "sim/cog/Instruction.h"

namespace qkl::cog {

namespace {

constexpr uint32_t kSign = 0x80000000u;

bool Parity(uint32_t value) { return std::popcount(value) & 1; }
bool Negative(uint32_t value) { return value & kSign; }
int64_t Signed(uint32_t value) { return static_cast<int32_t>(value); }

AluResult Plain(uint32_t value, bool c) { return {value, c, value == 0, true}; }

// Additions and subtractions, with the carry in (0 or 1) taken as part of S.
uint32_t Sum(uint32_t d, uint32_t s, uint32_t carryIn) { return d + s + carryIn; }
uint32_t Difference(uint32_t d, uint32_t s, uint32_t borrowIn) { return d - s - borrowIn; }
bool Carry(uint32_t d, uint32_t s, uint32_t carryIn) { return (uint64_t{d} + s + carryIn) >> 32; }
bool Borrow(uint32_t d, uint32_t s, uint32_t borrowIn) {
  return uint64_t{d} < uint64_t{s} + borrowIn;
}
bool SignedOverflow(int64_t exact) { return exact != static_cast<int32_t>(exact); }
bool AddOverflow(uint32_t d, uint32_t s, uint32_t carryIn) {
  return SignedOverflow(Signed(d) + Signed(s) + carryIn);
}
bool SubOverflow(uint32_t d, uint32_t s, uint32_t borrowIn) {
  return SignedOverflow(Signed(d) - Signed(s) - borrowIn);
}

// Z of the extended (X) forms: only stays set while every part was zero.
AluResult Extended(uint32_t value, bool c, bool z) { return {value, c, z && value == 0, true}; }

AluResult Add(uint32_t d, uint32_t s) { return Plain(Sum(d, s, 0), Carry(d, s, 0)); }
AluResult Sub(uint32_t d, uint32_t s) { return Plain(Difference(d, s, 0), Borrow(d, s, 0)); }
AluResult SignedSum(uint32_t d, uint32_t s, bool subtract) {
  return subtract ? Plain(d - s, SubOverflow(d, s, 0)) : Plain(d + s, AddOverflow(d, s, 0));
}
AluResult Negate(uint32_t s, bool negate) { return Plain(negate ? 0u - s : s, Negative(s)); }
AluResult Logic(uint32_t value) { return Plain(value, Parity(value)); }
AluResult Mux(uint32_t d, uint32_t s, bool bit) { return Logic((d & ~s) | (bit ? s : 0)); }

// MIN/MAX family: the ALU result is S; the comparison decides whether it is written.
AluResult Limit(uint32_t s, bool less, bool writeWhenLess) {
  return {s, less, s == 0, less == writeWhenLess};
}

uint32_t RotateCarryRight(uint32_t d, uint32_t n, bool c) {
  const uint32_t fill = (c && n) ? ~(0xFFFFFFFFu >> n) : 0;
  return (d >> n) | fill;
}
uint32_t RotateCarryLeft(uint32_t d, uint32_t n, bool c) {
  const uint32_t fill = (c && n) ? ~(0xFFFFFFFFu << n) : 0;
  return (d << n) | fill;
}
uint32_t Reverse(uint32_t d, uint32_t n) {
  uint32_t reversed = 0;
  for (int bit = 0; bit < 32; ++bit) reversed |= ((d >> bit) & 1u) << (31 - bit);
  return reversed >> n;
}

// ADDABS/SUBABS: with S negative the adder runs the other way on S as an unsigned
// number, and C is that operation's carry or borrow.
AluResult AddAbsolute(uint32_t d, uint32_t s) { return Negative(s) ? Sub(d, s) : Add(d, s); }
AluResult SubAbsolute(uint32_t d, uint32_t s) { return Negative(s) ? Add(d, s) : Sub(d, s); }

AluResult Shift(uint32_t opcode, uint32_t d, uint32_t s, bool c) {
  const uint32_t n = s & 31;
  const bool low = d & 1;
  const bool high = Negative(d);
  switch (opcode) {
    case kRor: return Plain(std::rotr(d, static_cast<int>(n)), low);
    case kRol: return Plain(std::rotl(d, static_cast<int>(n)), high);
    case kShr: return Plain(d >> n, low);
    case kShl: return Plain(d << n, high);
    case kRcr: return Plain(RotateCarryRight(d, n, c), low);
    case kRcl: return Plain(RotateCarryLeft(d, n, c), high);
    case kSar: return Plain(static_cast<uint32_t>(static_cast<int32_t>(d) >> n), low);
    default: return Plain(Reverse(d, n), low);
  }
}

AluResult Move(uint32_t opcode, uint32_t d, uint32_t s, uint32_t pc) {
  const bool below = d < s;
  switch (opcode) {
    case kMovs: return Plain((d & ~0x1FFu) | (s & 0x1FF), below);
    case kMovd: return Plain((d & ~(0x1FFu << 9)) | ((s & 0x1FF) << 9), below);
    case kMovi: return Plain((d & ~(0x1FFu << 23)) | ((s & 0x1FF) << 23), below);
    default: return Plain((d & ~0x1FFu) | ((pc + 1) & 0x1FF), below);
  }
}

AluResult Compare(uint32_t opcode, uint32_t d, uint32_t s, bool c, bool z) {
  switch (opcode) {
    case kCmps: return {d - s, Signed(d) < Signed(s), d == s, true};
    case kCmpsx: return Extended(Difference(d, s, c), Signed(d) < Signed(s) + c, z);
    case kAddx: return Extended(Sum(d, s, c), Carry(d, s, c), z);
    case kSubx: return Extended(Difference(d, s, c), Borrow(d, s, c), z);
    case kAdds: return SignedSum(d, s, false);
    case kSubs: return SignedSum(d, s, true);
    case kAddsx: return Extended(Sum(d, s, c), AddOverflow(d, s, c), z);
    default: return Extended(Difference(d, s, c), SubOverflow(d, s, c), z);
  }
}

AluResult Arithmetic(uint32_t opcode, uint32_t d, uint32_t s, bool c, bool z) {
  switch (opcode) {
    case kAdd: return Add(d, s);
    case kSub: return Sub(d, s);
    case kAddAbs: return AddAbsolute(d, s);
    case kSubAbs: return SubAbsolute(d, s);
    case kSumC: return SignedSum(d, s, c);
    case kSumNC: return SignedSum(d, s, !c);
    case kSumZ: return SignedSum(d, s, z);
    default: return SignedSum(d, s, !z);
  }
}

AluResult Negation(uint32_t opcode, uint32_t s, bool c, bool z) {
  switch (opcode) {
    case kMov: return Negate(s, false);
    case kNeg: return Negate(s, true);
    case kAbs: return Negate(s, Negative(s));
    case kAbsNeg: return Negate(s, !Negative(s));
    case kNegC: return Negate(s, c);
    case kNegNC: return Negate(s, !c);
    case kNegZ: return Negate(s, z);
    default: return Negate(s, !z);
  }
}

AluResult Bitwise(uint32_t opcode, uint32_t d, uint32_t s, bool c, bool z) {
  switch (opcode) {
    case kAnd: return Logic(d & s);
    case kAndN: return Logic(d & ~s);
    case kOr: return Logic(d | s);
    case kXor: return Logic(d ^ s);
    case kMuxC: return Mux(d, s, c);
    case kMuxNC: return Mux(d, s, !c);
    case kMuxZ: return Mux(d, s, z);
    default: return Mux(d, s, !z);
  }
}

AluResult Branch(uint32_t opcode, uint32_t d, uint32_t s) {
  switch (opcode) {
    case kCmpSub: return {d - s, d >= s, d == s, d >= s};
    case kDjnz: return Plain(d - 1, d == 0);
    case kWaitCnt: return Plain(d + s, Carry(d, s, 0));
    default: return {d, false, d == 0, true};  // TJNZ, TJZ
  }
}

}  // namespace

AluResult Alu(uint32_t opcode, uint32_t d, uint32_t s, bool c, bool z, uint32_t pc) {
  switch (opcode >> 3) {
    case 1: return Shift(opcode, d, s, c);
    case 2:
      if (opcode >= kMovs) return Move(opcode, d, s, pc);
      return Limit(s, opcode < kMin ? Signed(d) < Signed(s) : d < s,
                   opcode == kMins || opcode == kMin);
    case 3: return Bitwise(opcode, d, s, c, z);
    case 4: return Arithmetic(opcode, d, s, c, z);
    case 5: return Negation(opcode, s, c, z);
    case 6: return Compare(opcode, d, s, c, z);
    default: return Branch(opcode, d, s);
  }
}

}  // namespace qkl::cog
