#include "tools/InstructionSet.h"

#include <map>
#include <set>

namespace qkl::pasm {
namespace {

Instruction alu(std::uint32_t opcode, bool writes = true) {
  return Instruction{opcode, writes, OperandForm::DestinationSource, 0, false};
}

Instruction memory(std::uint32_t opcode, bool reads) {
  return Instruction{opcode, reads, OperandForm::DestinationSource, 0, true};
}

Instruction hubOperation(std::uint32_t number, bool writes) {
  return Instruction{0x03, writes, OperandForm::DestinationOnly, kImmediate | number, false};
}

// The instruction tables are laid out by the instruction map.
// clang-format off
const std::map<std::string, Instruction>& instructions() {
  static const std::map<std::string, Instruction> table = {
      {"WRBYTE", memory(0x00, false)}, {"RDBYTE", memory(0x00, true)},
      {"WRWORD", memory(0x01, false)}, {"RDWORD", memory(0x01, true)},
      {"WRLONG", memory(0x02, false)}, {"RDLONG", memory(0x02, true)},
      {"HUBOP", alu(0x03, false)},
      {"CLKSET", hubOperation(0, false)}, {"COGID", hubOperation(1, true)},
      {"COGINIT", hubOperation(2, false)}, {"COGSTOP", hubOperation(3, false)},
      {"LOCKNEW", hubOperation(4, true)}, {"LOCKRET", hubOperation(5, false)},
      {"LOCKSET", hubOperation(6, false)}, {"LOCKCLR", hubOperation(7, false)},
      {"ROR", alu(0x08)}, {"ROL", alu(0x09)}, {"SHR", alu(0x0A)}, {"SHL", alu(0x0B)},
      {"RCR", alu(0x0C)}, {"RCL", alu(0x0D)}, {"SAR", alu(0x0E)}, {"REV", alu(0x0F)},
      {"MINS", alu(0x10)}, {"MAXS", alu(0x11)}, {"MIN", alu(0x12)}, {"MAX", alu(0x13)},
      {"MOVS", alu(0x14)}, {"MOVD", alu(0x15)}, {"MOVI", alu(0x16)}, {"JMPRET", alu(0x17)},
      {"JMP", Instruction{0x17, false, OperandForm::SourceOnly, 0, false}},
      {"CALL", Instruction{0x17, true, OperandForm::Call, kImmediate, false}},
      {"RET", Instruction{0x17, false, OperandForm::None, kImmediate, false}},
      {"AND", alu(0x18)}, {"TEST", alu(0x18, false)}, {"ANDN", alu(0x19)}, {"TESTN", alu(0x19, false)},
      {"OR", alu(0x1A)}, {"XOR", alu(0x1B)},
      {"MUXC", alu(0x1C)}, {"MUXNC", alu(0x1D)}, {"MUXZ", alu(0x1E)}, {"MUXNZ", alu(0x1F)},
      {"ADD", alu(0x20)}, {"SUB", alu(0x21)}, {"CMP", alu(0x21, false)},
      {"ADDABS", alu(0x22)}, {"SUBABS", alu(0x23)},
      {"SUMC", alu(0x24)}, {"SUMNC", alu(0x25)}, {"SUMZ", alu(0x26)}, {"SUMNZ", alu(0x27)},
      {"MOV", alu(0x28)}, {"NEG", alu(0x29)}, {"ABS", alu(0x2A)}, {"ABSNEG", alu(0x2B)},
      {"NEGC", alu(0x2C)}, {"NEGNC", alu(0x2D)}, {"NEGZ", alu(0x2E)}, {"NEGNZ", alu(0x2F)},
      {"CMPS", alu(0x30, false)}, {"CMPSX", alu(0x31, false)}, {"ADDX", alu(0x32)},
      {"SUBX", alu(0x33)}, {"CMPX", alu(0x33, false)},
      {"ADDS", alu(0x34)}, {"SUBS", alu(0x35)}, {"ADDSX", alu(0x36)}, {"SUBSX", alu(0x37)},
      {"CMPSUB", alu(0x38)}, {"DJNZ", alu(0x39)}, {"TJNZ", alu(0x3A, false)}, {"TJZ", alu(0x3B, false)},
      {"WAITPEQ", alu(0x3C, false)}, {"WAITPNE", alu(0x3D, false)}, {"WAITCNT", alu(0x3E)},
      {"WAITVID", alu(0x3F, false)},
      {"NOP", Instruction{0x00, false, OperandForm::None, 0, false}},
  };
  return table;
}

const std::map<std::string, std::uint32_t>& conditions() {
  static const std::map<std::string, std::uint32_t> table = {
      {"IF_NEVER", 0x0},
      {"IF_NC_AND_NZ", 0x1}, {"IF_NZ_AND_NC", 0x1}, {"IF_A", 0x1},
      {"IF_NC_AND_Z", 0x2}, {"IF_Z_AND_NC", 0x2},
      {"IF_NC", 0x3}, {"IF_AE", 0x3},
      {"IF_C_AND_NZ", 0x4}, {"IF_NZ_AND_C", 0x4},
      {"IF_NZ", 0x5}, {"IF_NE", 0x5},
      {"IF_C_NE_Z", 0x6}, {"IF_Z_NE_C", 0x6},
      {"IF_NC_OR_NZ", 0x7}, {"IF_NZ_OR_NC", 0x7},
      {"IF_C_AND_Z", 0x8}, {"IF_Z_AND_C", 0x8},
      {"IF_C_EQ_Z", 0x9}, {"IF_Z_EQ_C", 0x9},
      {"IF_Z", 0xA}, {"IF_E", 0xA},
      {"IF_NC_OR_Z", 0xB}, {"IF_Z_OR_NC", 0xB},
      {"IF_C", 0xC}, {"IF_B", 0xC},
      {"IF_C_OR_NZ", 0xD}, {"IF_NZ_OR_C", 0xD},
      {"IF_C_OR_Z", 0xE}, {"IF_Z_OR_C", 0xE}, {"IF_BE", 0xE},
      {"IF_ALWAYS", 0xF},
  };
  return table;
}

const std::map<std::string, std::uint32_t>& registers() {
  static const std::map<std::string, std::uint32_t> table = {
      {"PAR", 0x1F0},  {"CNT", 0x1F1},  {"INA", 0x1F2},  {"INB", 0x1F3},  {"OUTA", 0x1F4}, {"OUTB", 0x1F5},
      {"DIRA", 0x1F6}, {"DIRB", 0x1F7}, {"CTRA", 0x1F8}, {"CTRB", 0x1F9}, {"FRQA", 0x1FA}, {"FRQB", 0x1FB},
      {"PHSA", 0x1FC}, {"PHSB", 0x1FD}, {"VCFG", 0x1FE}, {"VSCL", 0x1FF},
  };
  return table;
}

template <typename Value>
std::optional<Value> find(const std::map<std::string, Value>& table, const std::string& name) {
  auto it = table.find(name);
  if (it == table.end()) return std::nullopt;
  return it->second;
}

}  // namespace

std::optional<Instruction> findInstruction(const std::string& mnemonic) { return find(instructions(), mnemonic); }
std::optional<std::uint32_t> findCondition(const std::string& name) { return find(conditions(), name); }
std::optional<std::uint32_t> findRegister(const std::string& name) { return find(registers(), name); }

std::optional<std::uint32_t> findEffect(const std::string& name) {
  static const std::map<std::string, std::uint32_t> table = {
      {"WZ", kWriteZ}, {"WC", kWriteC}, {"WR", kWriteResult}, {"NR", 0}};
  return find(table, name);
}

bool isUnimplementedInstruction(const std::string& name) {
  return name == "MUL" || name == "MULS" || name == "ENC" || name == "ONES";
}

bool isReserved(const std::string& name) {
  static const std::set<std::string> directives = {"CON", "DAT", "VAR", "OBJ", "PUB", "PRI",
                                                   "ORG", "RES", "FIT", "LONG", "WORD", "BYTE"};
  return directives.count(name) || isUnimplementedInstruction(name) || findInstruction(name) ||
         findCondition(name) || findEffect(name) || findRegister(name);
}
// clang-format on

}  // namespace qkl::pasm
