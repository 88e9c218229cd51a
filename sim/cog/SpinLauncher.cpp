#include "sim/cog/SpinLauncher.h"

#include "sim/cog/EmulationError.h"
#include "sim/cog/Instruction.h"

namespace qkl::cog {

namespace {

constexpr uint32_t kRomCogStop = 0xFFF9;  // 3F 89 21: COGSTOP(COGID)

std::string ByteAt(uint32_t bytecode, uint32_t address) {
  return "Spin bytecode " + Hex(bytecode, 2) + " at " + Hex(address, 4);
}

}  // namespace

SpinLauncher::SpinLauncher(const Hub& hub)
    : pbase_(hub.ReadWord(0x0006)), dbase_(hub.ReadWord(0x000A)), pcurr_(hub.ReadWord(0x000C)) {}

uint32_t SpinLauncher::Fetch(const Hub& hub) {
  const uint32_t value = hub.ReadByte(pcurr_);
  pcurr_ = (pcurr_ + 1) & 0xFFFF;
  return value;
}

uint32_t SpinLauncher::Pop(uint32_t bytecode, uint32_t address) {
  if (stack_.empty()) throw EmulationError(ByteAt(bytecode, address) + " pops an empty stack");
  const uint32_t value = stack_.back();
  stack_.pop_back();
  return value;
}

SpinLauncher::Action SpinLauncher::Execute(const Hub& hub) {
  const uint32_t address = pcurr_;
  const uint32_t bytecode = Fetch(hub);
  pending_ = Action::kNone;
  switch (bytecode) {
    case 0x34: Push(0xFFFFFFFF); break;
    case 0x35: Push(0); break;
    case 0x36: Push(1); break;
    case 0x38:
    case 0x39:
    case 0x3A:
    case 0x3B: {  // 1 to 4 constant bytes follow, most significant first
      uint32_t value = 0;
      for (uint32_t i = 0; i < bytecode - 0x37; ++i) value = (value << 8) | Fetch(hub);
      Push(value);
      break;
    }
    case 0x87:
    case 0xA7:
    case 0xC7: {  // byte/word/long variable in PBASE space, push its address
      uint32_t offset = Fetch(hub);
      if (offset & 0x80) offset = ((offset & 0x7F) << 8) | Fetch(hub);
      Push((pbase_ + offset) & 0xFFFF);
      break;
    }
    case 0x28:
    case 0x2C: pending_ = CogInit(bytecode, address); break;
    case 0x32: pending_ = Return(hub, address); break;
    default:
      throw EmulationError(ByteAt(bytecode, address) +
                           " is not run without the ROM's Spin interpreter");
  }
  return pending_;
}

// Arguments were pushed as id, code address, PAR. An id above 7 (-1 for COGNEW) asks for
// any free cog, as the interpreter's unsigned limit to 8 makes it.
SpinLauncher::Action SpinLauncher::CogInit(uint32_t bytecode, uint32_t address) {
  const uint32_t par = Pop(bytecode, address);
  const uint32_t code = Pop(bytecode, address);
  const uint32_t id = Pop(bytecode, address);
  cogInitValue_ = ((par & 0xFFFC) << 16) | ((code & 0xFFFC) << 2) | (id > 8 ? 8 : id);
  pushResult_ = bytecode == 0x28;
  return Action::kCogInit;
}

void SpinLauncher::CogInitDone(uint32_t id, bool noCogFree) {
  if (pushResult_) Push(noCogFree ? 0xFFFFFFFF : id);
}

// The caller's frame is the four words below dbase; its return address is the last one.
SpinLauncher::Action SpinLauncher::Return(const Hub& hub, uint32_t address) {
  const uint32_t returnAddress = hub.ReadWord((dbase_ - 2) & 0xFFFF);
  if (returnAddress != kRomCogStop)
    throw EmulationError(ByteAt(0x32, address) + " returns to " + Hex(returnAddress, 4) +
                         ", which is not the top method's return into ROM at $FFF9");
  return Action::kStop;
}

}  // namespace qkl::cog
