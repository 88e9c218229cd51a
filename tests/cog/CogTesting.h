// Hand encoding of cog instructions (from the published field layout and ZCRI defaults) and
// a fixture that runs a cog image on an emulated chip.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/cog/Chip.h"
#include "sim/cog/Instruction.h"

namespace qkl::cog::testing {

constexpr uint32_t kWz = 1u << 25;
constexpr uint32_t kWc = 1u << 24;
constexpr uint32_t kWr = 1u << 23;
constexpr uint32_t kImm = 1u << 22;
constexpr uint32_t kAlways = 0xF;

// INSTR | ZCRI | CON | DEST | SRC.
constexpr uint32_t Encode(uint32_t opcode, uint32_t zcri, uint32_t d, uint32_t s,
                          uint32_t condition = kAlways) {
  return (opcode << 26) | zcri | (condition << 18) | ((d & 0x1FF) << 9) | (s & 0x1FF);
}

// Instructions with their assembler defaults (R set where the mnemonic writes).
constexpr uint32_t Mov(uint32_t d, uint32_t s, uint32_t extra = 0) {
  return Encode(kMov, kWr | extra, d, s);
}
constexpr uint32_t MovImm(uint32_t d, uint32_t s, uint32_t extra = 0) {
  return Mov(d, s, kImm | extra);
}
constexpr uint32_t AddImm(uint32_t d, uint32_t s) { return Encode(kAdd, kWr | kImm, d, s); }
constexpr uint32_t MuxC(uint32_t d, uint32_t s) { return Encode(kMuxC, kWr | kImm, d, s); }
constexpr uint32_t Sub(uint32_t d, uint32_t s) { return Encode(kSub, kWr, d, s); }
constexpr uint32_t Jmp(uint32_t target) { return Encode(kJmpRet, kImm, 0, target); }
constexpr uint32_t Nop() { return 0; }
constexpr uint32_t RdLong(uint32_t d, uint32_t s) { return Encode(kRdWrLong, kWr, d, s); }
constexpr uint32_t WrLong(uint32_t d, uint32_t s) { return Encode(kRdWrLong, 0, d, s); }
constexpr uint32_t WaitCnt(uint32_t d, uint32_t s) { return Encode(kWaitCnt, kWr | kImm, d, s); }
constexpr uint32_t HubOp(uint32_t d, uint32_t operation, uint32_t extra = 0) {
  return Encode(kHubOp, kImm | extra, d, operation);
}
constexpr uint32_t ReadCnt(uint32_t d) { return Mov(d, kCnt); }

// The cog is loaded from hub RAM at kImageAddress, so an image at most 496 longs long.
class CogFixture {
 public:
  static constexpr uint32_t kImageAddress = 0x1000;
  static constexpr uint64_t kLoadCycles = 8300;  // a cog load and a few instructions

  explicit CogFixture(const ChipConfig& config = {}) : chip(config) {}

  void WriteLongs(uint32_t address, const std::vector<uint32_t>& longs);
  void Start(uint32_t cog, const std::vector<uint32_t>& image, uint32_t par = 0);
  // Runs on through clock changes.
  void RunFor(uint64_t cycles);
  uint32_t Reg(uint32_t cog, uint32_t address) const { return chip.CogAt(cog).Register(address); }

  Chip chip;
};

// An image of `size` longs, starting with `code`.
std::vector<uint32_t> Image(std::vector<uint32_t> code, std::size_t size = 32);

}  // namespace qkl::cog::testing
