// Fields of a cog instruction word and the register map of a cog.
#pragma once

#include <cstdint>
#include <string>

namespace qkl::cog {

// Instruction word: INSTR(31:26) Z(25) C(24) R(23) I(22) CON(21:18) DEST(17:9) SRC(8:0).
constexpr uint32_t OpcodeOf(uint32_t word) { return word >> 26; }
constexpr bool WritesZ(uint32_t word) { return (word >> 25) & 1; }
constexpr bool WritesC(uint32_t word) { return (word >> 24) & 1; }
constexpr bool WritesResult(uint32_t word) { return (word >> 23) & 1; }
constexpr bool IsImmediate(uint32_t word) { return (word >> 22) & 1; }
constexpr uint32_t ConditionOf(uint32_t word) { return (word >> 18) & 0xF; }
constexpr uint32_t DestOf(uint32_t word) { return (word >> 9) & 0x1FF; }
constexpr uint32_t SrcOf(uint32_t word) { return word & 0x1FF; }

// The condition field is a truth table indexed by {C, Z}.
constexpr bool ConditionHolds(uint32_t condition, bool c, bool z) {
  return (condition >> ((c ? 2u : 0u) | (z ? 1u : 0u))) & 1u;
}

// The opcode tables are laid out by the instruction map.
// clang-format off
enum Opcode : uint32_t {
  kRdWrByte = 0, kRdWrWord = 1, kRdWrLong = 2, kHubOp = 3,
  kRor = 8, kRol, kShr, kShl, kRcr, kRcl, kSar, kRev,
  kMins, kMaxs, kMin, kMax, kMovs, kMovd, kMovi, kJmpRet,
  kAnd, kAndN, kOr, kXor, kMuxC, kMuxNC, kMuxZ, kMuxNZ,
  kAdd, kSub, kAddAbs, kSubAbs, kSumC, kSumNC, kSumZ, kSumNZ,
  kMov, kNeg, kAbs, kAbsNeg, kNegC, kNegNC, kNegZ, kNegNZ,
  kCmps, kCmpsx, kAddx, kSubx, kAdds, kSubs, kAddsx, kSubsx,
  kCmpSub, kDjnz, kTjnz, kTjz, kWaitPeq, kWaitPne, kWaitCnt, kWaitVid,
};

// HUBOP operations, selected by the low three bits of the source value.
enum HubOperation : uint32_t {
  kClkSet = 0, kCogId, kCogInit, kCogStop, kLockNew, kLockRet, kLockSet, kLockClr,
};

// Special registers.
enum Register : uint32_t {
  kPar = 0x1F0, kCnt, kIna, kInb, kOuta, kOutb, kDira, kDirb,
  kCtra, kCtrb, kFrqa, kFrqb, kPhsa, kPhsb, kVcfg, kVscl,
};
// clang-format on

constexpr uint32_t kCogRegisters = 512;
constexpr uint32_t kLoadedLongs = 496;

// "RDLONG", "ADD", "HUBOP COGINIT", ... for messages.
std::string MnemonicOf(uint32_t word);

// "$0C7C2A02" style hexadecimal for messages.
std::string Hex(uint32_t value, int digits);

}  // namespace qkl::cog
