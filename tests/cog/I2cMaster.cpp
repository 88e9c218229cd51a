#include "tests/cog/I2cMaster.h"

#include <stdexcept>

#include "tests/cog/CogTesting.h"

namespace qkl::cog::testing {

namespace {

constexpr uint32_t kIfZ = 0xA;
constexpr uint32_t kIfNz = 0x5;

// Registers of the program.
// The program's addresses and listing are laid out by hand.
// clang-format off
enum : uint32_t {
  kDelay = 23, kDelayRet = 27, kStart = 28, kStartRet = 35, kStop = 36, kStopRet = 42,
  kWrite = 43, kWriteLoop = 46, kWriteRet = 66, kReadAck = 67, kReadNack = 69, kRead = 70,
  kReadLoop = 73, kReadRet = 89, kWait = 90, kWaitRet = 94, kMain = 5, kDone = 21,
  kScl = 100, kSda = 101, kCmd = 102, kPtr = 103, kOut = 104, kData = 105, kBits = 106,
  kAck = 107, kTicks = 108, kFlag = 109, kOffset = 110,
};

enum Command : uint32_t { kEnd, kCmdStart, kCmdStop, kCmdWrite, kCmdReadAck, kCmdReadNack, kCmdWait };

constexpr uint32_t kCommandList = 0x4000;
constexpr uint32_t kResults = 0x5000;
constexpr uint32_t kDoneFlag = 0xD0D0;

constexpr uint32_t Call(uint32_t ret, uint32_t target, uint32_t condition = kAlways) {
  return Encode(kJmpRet, kWr | kImm, ret, target, condition);
}
constexpr uint32_t Or(uint32_t d, uint32_t s, uint32_t condition = kAlways) {
  return Encode(kOr, kWr, d, s, condition);
}
constexpr uint32_t AndN(uint32_t d, uint32_t s, uint32_t condition = kAlways) {
  return Encode(kAndN, kWr, d, s, condition);
}
constexpr uint32_t CmpImm(uint32_t d, uint32_t s) { return Encode(kSub, kImm | kWz, d, s); }
constexpr uint32_t Delay() { return Call(kDelayRet, kDelay); }
constexpr uint32_t kRet = 0x5C7C0000;

std::vector<uint32_t> Program() {
  std::vector<uint32_t> p = {
      Mov(kOuta, kScl), Mov(kDira, kScl), Mov(kPtr, kPar), Mov(kOut, kPar), Encode(kAdd, kWr, kOut, kOffset),
      // main: fetch a command and dispatch
      RdLong(kCmd, kPtr), AddImm(kPtr, 4),
      CmpImm(kCmd, kCmdStart), Call(kStartRet, kStart, kIfZ),
      CmpImm(kCmd, kCmdStop), Call(kStopRet, kStop, kIfZ),
      CmpImm(kCmd, kCmdWrite), Call(kWriteRet, kWrite, kIfZ),
      CmpImm(kCmd, kCmdReadAck), Call(kReadRet, kReadAck, kIfZ),
      CmpImm(kCmd, kCmdReadNack), Call(kReadRet, kReadNack, kIfZ),
      CmpImm(kCmd, kCmdWait), Call(kWaitRet, kWait, kIfZ),
      Encode(kTjz, kImm, kCmd, kDone), Jmp(kMain),
      // done
      WrLong(kFlag, kOut), Jmp(kDone + 1),
      // delay
      Nop(), Nop(), Nop(), Nop(), kRet,
      // start: SDA falls while SCL is high
      AndN(kDira, kSda), Or(kOuta, kScl), Delay(), Or(kDira, kSda), Delay(), AndN(kOuta, kScl), Delay(), kRet,
      // stop: SDA rises while SCL is high
      Or(kDira, kSda), Delay(), Or(kOuta, kScl), Delay(), AndN(kDira, kSda), Delay(), kRet,
      // write a byte, most significant bit first, and record the acknowledge
      RdLong(kData, kPtr), AddImm(kPtr, 4), MovImm(kBits, 8),
      Encode(kAnd, kImm | kWz, kData, 0x80), Or(kDira, kSda, kIfZ), AndN(kDira, kSda, kIfNz), Delay(),
      Or(kOuta, kScl), Delay(), AndN(kOuta, kScl), Encode(kShl, kWr | kImm, kData, 1),
      Encode(kDjnz, kWr | kImm, kBits, kWriteLoop),
      AndN(kDira, kSda), Delay(), Or(kOuta, kScl), Delay(), Encode(kAnd, kWc, kSda, kIna), AndN(kOuta, kScl),
      MovImm(kData, 0), MuxC(kData, 1), WrLong(kData, kOut), AddImm(kOut, 4), Delay(), kRet,
      // read a byte and send ACK or NACK
      MovImm(kAck, 0), Jmp(kRead), MovImm(kAck, 1),
      AndN(kDira, kSda), MovImm(kBits, 8), MovImm(kData, 0),
      Delay(), Or(kOuta, kScl), Delay(), Encode(kAnd, kWc, kSda, kIna), Encode(kRcl, kWr | kImm, kData, 1),
      AndN(kOuta, kScl), Encode(kDjnz, kWr | kImm, kBits, kReadLoop),
      CmpImm(kAck, 0), Or(kDira, kSda, kIfZ), Delay(), Or(kOuta, kScl), Delay(), AndN(kOuta, kScl),
      AndN(kDira, kSda), WrLong(kData, kOut), AddImm(kOut, 4), kRet,
      // wait a number of clocks
      RdLong(kTicks, kPtr), AddImm(kPtr, 4), Encode(kAdd, kWr, kTicks, kCnt), WaitCnt(kTicks, 0), kRet,
  };
  if (p.size() != kWaitRet + 1) throw std::logic_error("I2C master program layout is off");
  p.resize(kOffset + 1, 0);
  p[kScl] = 1u << 28;
  p[kSda] = 1u << 29;
  p[kFlag] = kDoneFlag;
  p[kOffset] = kResults - kCommandList;
  return p;
}
// clang-format on

}  // namespace

I2cMaster& I2cMaster::Start() {
  commands_.push_back(kCmdStart);
  return *this;
}

I2cMaster& I2cMaster::Stop() {
  commands_.push_back(kCmdStop);
  return *this;
}

I2cMaster& I2cMaster::Write(uint8_t byte) {
  commands_.insert(commands_.end(), {kCmdWrite, byte});
  return *this;
}

I2cMaster& I2cMaster::Read(bool acknowledge) {
  commands_.push_back(acknowledge ? kCmdReadAck : kCmdReadNack);
  return *this;
}

I2cMaster& I2cMaster::Wait(uint32_t cycles) {
  commands_.insert(commands_.end(), {kCmdWait, cycles});
  return *this;
}

std::vector<uint32_t> I2cMaster::Run(Chip& chip, devices::Board& board, bool fast) const {
  std::vector<uint32_t> program = Program();
  if (fast) program[kDelay] = Encode(kJmpRet, 0, 0, kDelayRet);  // return at once
  Hub& hub = chip.Memory();
  for (uint32_t i = 0; i < program.size(); ++i)
    hub.WriteLong(CogFixture::kImageAddress + 4 * i, program[i]);
  for (uint32_t i = 0; i < commands_.size(); ++i) hub.WriteLong(kCommandList + 4 * i, commands_[i]);
  hub.WriteLong(kCommandList + 4 * static_cast<uint32_t>(commands_.size()), kEnd);
  for (uint32_t i = 0; i <= commands_.size(); ++i) hub.WriteLong(kResults + 4 * i, 0);
  chip.StartCog(0, CogFixture::kImageAddress, kCommandList);
  std::vector<uint32_t> results;
  for (int slice = 0; slice < 2000; ++slice) {
    board.RunFor(1e-3);
    results.clear();
    for (uint32_t address = kResults; address < kResults + 4 * (commands_.size() + 1);
         address += 4) {
      const uint32_t value = hub.ReadLong(address);
      if (value == kDoneFlag) return results;
      results.push_back(value);
    }
  }
  throw std::runtime_error("the I2C master did not finish its commands");
}

}  // namespace qkl::cog::testing
