// The host's serial line: bytes on P31 at the link rate, and a UART receiver on P30, checked
// directly and against bit-banged UART code running on the emulated chip.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include <gmock/gmock.h>

#include <array>
#include <memory>
#include <vector>

#include "sim/devices/Board.h"
#include "sim/devices/I2cEeprom.h"
#include "sim/devices/SerialLine.h"
#include "tests/cog/CogTesting.h"
#include "tests/support/RomFolder.h"

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
    EXPECT_NEAR(static_cast<double>(probe.edges[i + 1].cycle - start),
                expected[i].first * bitCycles, 1.0);
  }
}

// Cog code that sends the 10-bit frames in register 21 (bit 0 first) on P30 at 104 clocks a
// bit (115200 Bd at 12 MHz).
std::vector<uint32_t> Transmitter(uint32_t frames, uint32_t bits) {
  std::vector<uint32_t> image = Image({
      Mov(kOuta, 20),
      Mov(kDira, 20),
      ReadCnt(24),
      AddImm(24, 400),
      Encode(kWaitCnt, kWr, 24, 23),
      Encode(kShr, kWr | kImm | kWc, 21, 1),
      Encode(kMuxC, kWr, kOuta, 20),
      Encode(kDjnz, kWr | kImm, 22, 4),
      Jmp(8),
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
  std::vector<double> starts;
  EXPECT_EQ(line.TakeReceived(&starts), "Hi\xA5");
  EXPECT_EQ(line.FramingErrors(), 0u);
  // Each byte with the time its start bit fell: the frames went out back to back.
  const double bit = 104 / fixture.chip.FrequencyHz();
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_NEAR(starts[1] - starts[0], 10 * bit, bit / 8);
  EXPECT_NEAR(starts[2] - starts[1], 10 * bit, bit / 8);
  EXPECT_EQ(line.TakeReceived(&starts), "");
  EXPECT_TRUE(starts.empty());
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
  enum : uint32_t {
    kRxMask = 20,
    kTxMask = 21,
    kBit = 22,
    kHalf = 23,
    kT = 24,
    kData = 25,
    kCount = 26,
    kZero = 27
  };
  std::vector<uint32_t> image = Image(
      {
          Mov(kOuta, kTxMask),
          Mov(kDira, kTxMask),
          // 2: wait for the start bit, then 1.5 bit times to the middle of bit 0
          Encode(kWaitPeq, 0, kZero, kRxMask),
          ReadCnt(kT),
          Encode(kAdd, kWr, kT, kHalf),
          MovImm(kCount, 8),
          MovImm(kData, 0),
          // 7: sample 8 bits
          Encode(kWaitCnt, kWr, kT, kBit),
          Encode(kAnd, kWc, kRxMask, kIna),
          Encode(kRcr, kWr | kImm, kData, 1),
          Encode(kDjnz, kWr | kImm, kCount, 7),
          // 11: frame = (byte | $100) << 1, sent bit by bit
          Encode(kShr, kWr | kImm, kData, 24),
          Encode(kOr, kWr | kImm, kData, 0x100),
          Encode(kShl, kWr | kImm, kData, 1),
          MovImm(kCount, 10),
          Encode(kWaitCnt, kWr, kT, kBit),
          Encode(kShr, kWr | kImm | kWc, kData, 1),
          Encode(kMuxC, kWr, kOuta, kTxMask),
          Encode(kDjnz, kWr | kImm, kCount, 15),
          Jmp(2),
      },
      48);
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
  // The chip's answer: the next 250 register bits, then the version byte, least significant bit
  // first.
  std::string ExpectedReply(uint8_t version) {
    std::string bytes;
    for (int i = 0; i < 250; ++i) bytes.push_back(NextBit() ? '\xFF' : '\xFE');
    for (int i = 0; i < 8; ++i) bytes.push_back(((version >> i) & 1) ? '\xFF' : '\xFE');
    return bytes;
  }

 private:
  bool NextBit() {
    const bool bit = lfsr_ & 1;
    lfsr_ = static_cast<uint8_t>((lfsr_ << 1) |
                                 (std::popcount(static_cast<unsigned>(lfsr_ & 0xB2)) & 1));
    return bit;
  }
  uint8_t lfsr_ = 0x50;
};

TEST(SerialLine, TheBootRomAnswersTheHandshakeOverTheLine) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty())
    GTEST_SKIP() << why << "; the handshake is not tried";
  const std::filesystem::path rom = simtest::RomFolder();
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

// Loads of the smallest launcher image through the boot ROM: handshake, command, long count,
// the longs, then $F9 polls for each verdict; the program then runs under the ROM's interpreter.
class RomLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = simtest::WhyNoRom(); !why.empty())
      GTEST_SKIP() << why << "; loads through the ROM are not tried";
    const std::filesystem::path rom = simtest::RomFolder();
    ChipConfig config;
    config.romDirectory = rom;
    chip = std::make_unique<Chip>(config);
    board = std::make_unique<Board>(*chip);
    line = std::make_unique<SerialLine>(*chip);
    eeprom = std::make_unique<devices::I2cEeprom>(*chip, store);
    board->Attach(*line);
    board->Attach(*eeprom);
    board->RunFor(0.002);
  }

  void SendImage(uint32_t command) {
    std::string request = host.Request();
    request +=
        HandshakeHost::Long(command) + HandshakeHost::Long(static_cast<uint32_t>(kImage.size()));
    for (uint32_t value : kImage) request += HandshakeHost::Long(value);
    line->Send(*chip, request);
    board->RunFor(line->SendDoneSeconds(*chip) - chip->Seconds() + 0.001);
    ASSERT_EQ(line->TakeReceived(), host.ExpectedReply(1));
  }

  // Polls with $F9 every millisecond until the chip answers; returns the answer and the time.
  std::pair<std::string, double> Verdict() {
    const double start = chip->Seconds();
    for (int poll = 0; poll < 10000; ++poll) {
      line->Send(*chip, "\xF9");
      board->RunFor(0.001);
      const std::string answer = line->TakeReceived();
      if (!answer.empty()) return {answer, chip->Seconds() - start};
    }
    return {"none", chip->Seconds() - start};
  }

  void ExpectImageRuns() {
    for (int slice = 0; slice < 100 && !chip->CogAt(1).Active(); ++slice) board->RunFor(0.005);
    ASSERT_TRUE(chip->CogAt(1).Active());
    EXPECT_EQ(chip->CogAt(1).Register(0), 0x5C7C0000u);
    EXPECT_FALSE(chip->CogAt(0).Active()) << "the top method returned into ROM and stopped cog 0";
  }

  static constexpr std::array<uint32_t, 9> kImage = {0x00B71B00, 0x00100600, 0x002C0024,
                                                     0x0030001C, 0x00020014, 0x0000000C,
                                                     0x5C7C0000, 0x3508C734, 0x0000322C};
  HandshakeHost host;
  std::array<uint8_t, devices::kEepromSize> store{};
  std::unique_ptr<Chip> chip;
  std::unique_ptr<Board> board;
  std::unique_ptr<SerialLine> line;
  std::unique_ptr<devices::I2cEeprom> eeprom;
};

TEST_F(RomLoad, ARamLoadPassesTheChecksumAndRuns) {
  SendImage(1);
  EXPECT_EQ(Verdict().first, "\xFE") << "checksum verdict: pass";
  ExpectImageRuns();
}

TEST_F(RomLoad, AnEepromLoadProgramsAndVerifiesThePagesThenRuns) {
  store.fill(0x5A);
  SendImage(3);
  EXPECT_EQ(Verdict().first, "\xFE") << "checksum";
  const auto [programmed, programming] = Verdict();
  EXPECT_EQ(programmed, "\xFE") << "programmed";
  const auto [verified, verifying] = Verdict();
  EXPECT_EQ(verified, "\xFE") << "verified";
  // 512 pages with a 5 ms write cycle each, then one sequential read, at 12 MHz.
  EXPECT_NEAR(programming, 3.96, 0.4);
  EXPECT_NEAR(verifying, 1.32, 0.2);
  for (uint32_t i = 0; i < kImage.size() * 4; ++i)
    EXPECT_EQ(store[i], (kImage[i / 4] >> (8 * (i % 4))) & 0xFF);
  EXPECT_EQ(store[0x24], 0xFF) << "the caller frame below dbase";
  EXPECT_EQ(store[0x26], 0xF9);
  EXPECT_EQ(store[0x7FFF], 0x00) << "the rest of RAM, zeroed";
  EXPECT_THAT(eeprom->Violations(), ::testing::IsEmpty());
  ExpectImageRuns();
}

TEST_F(RomLoad, ASilentEepromFailsTheProgrammingStep) {
  eeprom->SetFault(devices::EepromFault::kAbsent);
  SendImage(2);
  EXPECT_EQ(Verdict().first, "\xFE") << "checksum";
  EXPECT_EQ(Verdict().first, "\xFF") << "programming fails";
  for (int slice = 0; slice < 20 && !chip->ClockStopped(); ++slice) board->RunFor(0.005);
  EXPECT_TRUE(chip->ClockStopped()) << "the loader shuts the chip down";
}

}  // namespace
}  // namespace qkl::cog::testing
