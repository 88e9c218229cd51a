#include "sim/cog/Instruction.h"

#include <array>
#include <cstdio>

namespace qkl::cog {

namespace {

constexpr std::array<const char*, 64> kMnemonics = {
    "WRBYTE", "WRWORD", "WRLONG", "HUBOP",  "MUL",     "MULS",    "ENC",     "ONES",
    "ROR",    "ROL",    "SHR",    "SHL",    "RCR",     "RCL",     "SAR",     "REV",
    "MINS",   "MAXS",   "MIN",    "MAX",    "MOVS",    "MOVD",    "MOVI",    "JMPRET",
    "AND",    "ANDN",   "OR",     "XOR",    "MUXC",    "MUXNC",   "MUXZ",    "MUXNZ",
    "ADD",    "SUB",    "ADDABS", "SUBABS", "SUMC",    "SUMNC",   "SUMZ",    "SUMNZ",
    "MOV",    "NEG",    "ABS",    "ABSNEG", "NEGC",    "NEGNC",   "NEGZ",    "NEGNZ",
    "CMPS",   "CMPSX",  "ADDX",   "SUBX",   "ADDS",    "SUBS",    "ADDSX",   "SUBSX",
    "CMPSUB", "DJNZ",   "TJNZ",   "TJZ",    "WAITPEQ", "WAITPNE", "WAITCNT", "WAITVID",
};

constexpr std::array<const char*, 8> kHubOperations = {
    "CLKSET", "COGID", "COGINIT", "COGSTOP", "LOCKNEW", "LOCKRET", "LOCKSET", "LOCKCLR",
};

constexpr std::array<const char*, 3> kReads = {"RDBYTE", "RDWORD", "RDLONG"};

}  // namespace

std::string MnemonicOf(uint32_t word) {
  const uint32_t opcode = OpcodeOf(word);
  if (opcode < kHubOp && WritesResult(word)) return kReads[opcode];
  if (opcode == kHubOp && IsImmediate(word)) return kHubOperations[SrcOf(word) & 7];
  return kMnemonics[opcode];
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "$%0*X", digits, value);
  return text;
}

}  // namespace qkl::cog
