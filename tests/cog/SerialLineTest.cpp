// The host's serial line: bytes on P31 at the link rate, and a UART receiver on P30, checked
// directly and against bit-banged UART code running on the emulated chip.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "sim/devices/Board.h"
#include "sim/devices/SerialLine.h"
#include "tests/cog/CogTesting.h"
#include "tests/cog/RomDirectory.h"

namespace qkl::cog::testing {
namespace {

using devices::Board;
using devices::SerialLine;

constexpr uint32_t kRx = 1u << 31;
constexpr uint32_t kTx = 1u << 30;

// Records the level changes of the host line.
class Probe : public devices::PinDevice {
 public:
  uint32_t WatchedPins() const override { return kRx; }
  uint64_t NextEventCycle(const Chip&) const override { return Chip::kNever; }
  void Update(Chip& chip) override {
    const bool level = chip.PinLevels() & kRx;
    if (edges.empty() || level != last) edges.push_back({chip.Cycle(), level});
    last = level;
  }
  struct Edge {
    uint64_t cycle;
    bool level;
  };
  std::vector<Edge> edges;
  bool last = true;
};

TEST(SerialLine, HostBytesGoOutLeastSignificantBitFirstAtTheLinkRate) {
  Chip chip({});  // 12 MHz
  Board board(chip);
  SerialLine line(chip, {.baud = 115200});
  Probe probe;
  board.Attach(line);
  board.Attach(probe);
  board.RunUntil(1000);
  EXPECT_EQ(chip.PinLevels() & kRx, kRx) << "idle high";
  line.Send(chip, std::string("\xF9\x55", 2));
  EXPECT_NEAR(line.SendDoneSeconds(chip), chip.Seconds() + 20 / 115200.0, 1e-12);
  board.RunFor(1e-3);
  EXPECT_FALSE(line.Sending());
  // $F9 = start 0, bits 1 0 0 1 1 1 1 1, stop 1; then $55 = start 0, 1 0 1 0 1 0 1 0, stop 1.
  const std::vector<int> bits = {0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
  const double bitCycles = 12e6 / 115200;
  std::vector<std::pair<int, bool>> expected;  // (bit index, level) where the level changes
  bool level = true;
  for (int k = 0; k < static_cast<int>(bits.size()); ++k) {
    if (bits[k] != level) expected.emplace_back(k, bits[k]);
    level = bits[k];
  }
  ASSERT_EQ(probe.edges.size(), expected.size() + 1);
  const uint64_t start = probe.edges[1].cycle;
  EXPECT_EQ(start, 1000u);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(probe.edges[i + 1].level, expected[i].second);
    EXPECT_NEAR(static_cast<double>(probe.edges[i + 1].cycle - start), expected[i].first * bitCycles, 1.0);
  }
}

// Cog code that sends the 10-bit frames in register 21 (bit 0 first) on P30 at 104 clocks a
// bit (115200 Bd at 12 MHz).
std::vector<uint32_t> Transmitter(uint32_t frames, uint32_t bits) {
  std::vector<uint32_t> image = Image({
      Mov(kOuta, 20), Mov(kDira, 20), ReadCnt(24), AddImm(24, 400), Encode(kWaitCnt, kWr, 24, 23),
      Encode(kShr, kWr | kImm | kWc, 21, 1), Encode(kMuxC, kWr, kOuta, 20), Encode(kDjnz, kWr | kImm, 22, 4), Jmp(8),
  });
  image[20] = kTx;
  image[21] = frames;
  image[22] = bits;
  image[23] = 104;
  return image;
}

uint32_t Frame(uint8_t byte) { return (uint32_t{byte} | 0x100) << 1; }

TEST(SerialLine, TheReceiverFormsTheBytesTheChipSends) {
  CogFixture fixture;
  Board board(fixture.chip);
  SerialLine line(fixture.chip);
  board.Attach(line);
  fixture.Start(0, Transmitter(Frame('H') | (Frame('i') << 10) | (Frame(0xA5) << 20), 30));
  board.RunFor(5e-3);
  EXPECT_EQ(line.TakeReceived(), "Hi\xA5");
  EXPECT_EQ(line.FramingErrors(), 0u);
  EXPECT_EQ(line.TakeReceived(), "");
}

TEST(SerialLine, ALowStopBitIsAFramingError) {
  CogFixture fixture;
  Board board(fixture.chip);
  SerialLine line(fixture.chip);
  board.Attach(line);
  fixture.Start(0, Transmitter(0x0AA << 1, 12));  // start, $AA, and a stop bit of 0
  board.RunFor(5e-3);
  EXPECT_EQ(line.TakeReceived(), "\xAA");
  EXPECT_EQ(line.FramingErrors(), 1u);
}

// Receives a byte on P31 (start edge, then the middle of each bit) and sends it back on P30.
std::vector<uint32_t> Echo(uint32_t bitClocks) {
  enum : uint32_t { kRxMask = 20, kTxMask = 21, kBit = 22, kHalf = 23, kT = 24, kData = 25, kCount = 26, kZero = 27 };
  std::vector<uint32_t> image = Image({
      Mov(kOuta, kTxMask), Mov(kDira, kTxMask),
      // 2: wait for the start bit, then 1.5 bit times to the middle of bit 0
      Encode(kWaitPeq, 0, kZero, kRxMask), ReadCnt(kT), Encode(kAdd, kWr, kT, kHalf), MovImm(kCount, 8),
      MovImm(kData, 0),
      // 7: sample 8 bits
      Encode(kWaitCnt, kWr, kT, kBit), Encode(kAnd, kWc, kRxMask, kIna), Encode(kRcr, kWr | kImm, kData, 1),
      Encode(kDjnz, kWr | kImm, kCount, 7),
      // 11: frame = (byte | $100) << 1, sent bit by bit
      Encode(kShr, kWr | kImm, kData, 24), Encode(kOr, kWr | kImm, kData, 0x100), Encode(kShl, kWr | kImm, kData, 1),
      MovImm(kCount, 10),
      Encode(kWaitCnt, kWr, kT, kBit), Encode(kShr, kWr | kImm | kWc, kData, 1), Encode(kMuxC, kWr, kOuta, kTxMask),
      Encode(kDjnz, kWr | kImm, kCount, 15), Jmp(2),
  }, 48);
  image[kRxMask] = kRx;
  image[kTxMask] = kTx;
  image[kBit] = bitClocks;
  image[kHalf] = bitClocks + bitClocks / 2 - 12;  // less the clocks from the edge to the CNT read
  return image;
}

TEST(SerialLine, AnEchoProgramOnTheChipReturnsWhatTheHostSends) {
  for (double baud : {115200.0, 230400.0}) {
    CogFixture fixture;
    Board board(fixture.chip);
    SerialLine line(fixture.chip, {.baud = baud});
    board.Attach(line);
    fixture.Start(0, Echo(static_cast<uint32_t>(std::lround(12e6 / baud))));
    board.RunFor(2e-3);
    const std::string message = "Hello, \x01\x80\xFF";
    for (char byte : message) {
      line.Send(fixture.chip, std::string(1, byte));
      board.RunFor(25 / baud);  // the program echoes each byte before it listens again
    }
    board.RunFor(1e-3);
    EXPECT_EQ(line.TakeReceived(), message) << baud << " Bd";
    EXPECT_EQ(line.FramingErrors(), 0u);
  }
}

}  // namespace
}  // namespace qkl::cog::testing

namespace qkl::cog::testing {
namespace {

// The host side of the boot handshake, at the level of bytes on the wire: a calibration $F9,
// 250 shift-register bits as $FF (1) or $FE (0), then one $F9 per bit the chip answers.
class HandshakeHost {
 public:
  std::string Request() {
    std::string bytes = "\xF9";
    for (int i = 0; i < 250; ++i) bytes.push_back(NextBit() ? '\xFF' : '\xFE');
    bytes.append(258, '\xF9');
    return bytes;
  }
  // A long as 32 bits, least significant first.
  static std::string Long(uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 32; ++i) bytes.push_back(((value >> i) & 1) ? '\xFF' : '\xFE');
    return bytes;
  }
  // The chip's answer: the next 250 register bits, then the version byte, least significant bit first.
  std::string ExpectedReply(uint8_t version) {
    std::string bytes;
    for (int i = 0; i < 250; ++i) bytes.push_back(NextBit() ? '\xFF' : '\xFE');
    for (int i = 0; i < 8; ++i) bytes.push_back(((version >> i) & 1) ? '\xFF' : '\xFE');
    return bytes;
  }

 private:
  bool NextBit() {
    const bool bit = lfsr_ & 1;
    lfsr_ = static_cast<uint8_t>((lfsr_ << 1) | (std::popcount(static_cast<unsigned>(lfsr_ & 0xB2)) & 1));
    return bit;
  }
  uint8_t lfsr_ = 0x50;
};

TEST(SerialLine, TheBootRomAnswersTheHandshakeOverTheLine) {
  const std::filesystem::path rom = RomDirectory();
  if (rom.empty()) GTEST_SKIP() << "no ROM files found (set QKL_ROM_DIR); the handshake is not tried";
  for (double mhz : {8.0, 20.0}) {
    for (double baud : {115200.0, 230400.0}) {
      ChipConfig config;
      config.clock.rcFastHz = mhz * 1e6;
      config.romDirectory = rom;
      Chip chip(config);
      Board board(chip);
      SerialLine line(chip, {.baud = baud});
      board.Attach(line);
      board.RunFor(0.002);  // the loader copies itself into cog 0 first
      HandshakeHost host;
      line.Send(chip, host.Request());
      board.RunFor(line.SendDoneSeconds(chip) - chip.Seconds() + 0.001);
      EXPECT_EQ(line.TakeReceived(), host.ExpectedReply(1)) << mhz << " MHz, " << baud << " Bd";
      EXPECT_EQ(line.FramingErrors(), 0u);
    }
  }
}

}  // namespace
}  // namespace qkl::cog::testing

namespace qkl::cog::testing {
namespace {

// A RAM load (command 1) of the smallest launcher image through the boot ROM: handshake,
// command, long count, the longs, then $F9 polls until the checksum verdict, and the program
// runs under the ROM's interpreter.
TEST(SerialLine, TheBootRomLoadsAnImageSentOverTheLineAndRunsIt) {
  const std::filesystem::path rom = RomDirectory();
  if (rom.empty()) GTEST_SKIP() << "no ROM files found (set QKL_ROM_DIR); the RAM load is not tried";
  const std::vector<uint32_t> image = {0x00B71B00, 0x00100600, 0x002C0024, 0x0030001C, 0x00020014,
                                       0x0000000C, 0x5C7C0000, 0x3508C734, 0x0000322C};
  ChipConfig config;
  config.romDirectory = rom;
  Chip chip(config);
  Board board(chip);
  SerialLine line(chip);
  board.Attach(line);
  board.RunFor(0.002);
  HandshakeHost host;
  std::string request = host.Request();
  request += HandshakeHost::Long(1) + HandshakeHost::Long(static_cast<uint32_t>(image.size()));
  for (uint32_t value : image) request += HandshakeHost::Long(value);
  line.Send(chip, request);
  board.RunFor(line.SendDoneSeconds(chip) - chip.Seconds() + 0.001);
  const std::string reply = line.TakeReceived();
  ASSERT_EQ(reply, host.ExpectedReply(1));
  std::string verdict;
  for (int poll = 0; poll < 400 && verdict.empty(); ++poll) {
    line.Send(chip, "\xF9");
    board.RunFor(0.001);
    verdict = line.TakeReceived();
  }
  EXPECT_EQ(verdict, "\xFE") << "checksum verdict: pass";
  for (int slice = 0; slice < 100 && !chip.CogAt(1).Active(); ++slice) board.RunFor(0.005);
  ASSERT_TRUE(chip.CogAt(1).Active());
  EXPECT_EQ(chip.CogAt(1).Register(0), 0x5C7C0000u);
  EXPECT_FALSE(chip.CogAt(0).Active()) << "the top method returned into ROM and stopped cog 0";
}

}  // namespace
}  // namespace qkl::cog::testing
