// The EEPROM reader program on the emulated chip with a 24LC256 on P28/P29 and the host's serial
// line on P30/P31, driven here the way the host drives it: sync polls, the handshake packet, the
// command long and the clock bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "sim/cog/Chip.h"
#include "sim/devices/Board.h"
#include "sim/devices/I2cEeprom.h"
#include "sim/devices/SerialLine.h"
#include "tests/tools/BootImage.h"
#include "tools/Assembler.h"
#include "tools/ProgramImage.h"

namespace {

using namespace qkl;

constexpr char kClock = '\xF9';
constexpr int kHandshakeBits = 250;
// The reading cog counts the bytes it has stored in RAM's last long.
constexpr std::uint32_t kCountAddress = 0x7FFC;

// The host's pulse encoding: a 1 is one high and one low bit time, a 0 one high and two low; bytes
// of ten bit times (start, 8 data bits, stop). At high speed a long's last bit starts no frame it
// cannot finish in, and one idle bit time follows each long.
class PulseEncoder {
 public:
  explicit PulseEncoder(bool highSpeed) : highSpeed_(highSpeed) {}

  void bit(int value, int index = 0) {
    if (highSpeed_ && index == 31 && free_ < 4) closeFrame();
    int length = 3 - value;
    image_ |= 1u << (10 - free_);
    free_ -= length;
    if (free_ == 0) appendFrame();
    if (free_ < 0) {
      bytes_.push_back(static_cast<char>((image_ >> 2 & 0xFF) | 0x80));
      image_ = 1;
      free_ = 10 - length;
    }
  }

  void longValue(std::uint32_t value) {
    for (int i = 0; i < 32; ++i) bit(value >> i & 1, i);
    if (!highSpeed_) return;
    image_ |= 1u << (10 - free_);
    if (--free_ == 0) appendFrame();
  }

  std::string flush() {
    if (image_) closeFrame();
    return std::move(bytes_);
  }

 private:
  void closeFrame() {
    for (int slot = 10 - free_; slot < 10; ++slot) image_ |= 1u << slot;
    appendFrame();
  }
  void appendFrame() {
    bytes_.push_back(static_cast<char>(image_ >> 2 & 0xFF));
    image_ = 0;
    free_ = 10;
  }

  bool highSpeed_;
  std::string bytes_;
  std::uint32_t image_ = 0;
  int free_ = 10;
};

class ShiftRegister {
 public:
  int next() {
    int output = state_ & 1;
    state_ = (state_ << 1 | __builtin_parity(state_ & 0xB2)) & 0xFF;
    return output;
  }

 private:
  unsigned state_ = 0x50;
};

std::uint16_t crc16Modbus(const std::vector<std::uint8_t>& bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

std::vector<std::uint8_t> readerImage() {
  std::ifstream in(QKL_READER_SOURCE);
  std::ostringstream source;
  source << in.rdbuf();
  pasm::Assembly assembly = pasm::assemble(source.str());
  EXPECT_TRUE(assembly.errors.empty());
  EXPECT_EQ(assembly.clkfreq, 12000000u);
  EXPECT_EQ(assembly.clkmode, 0x00);
  return pasm::buildProgramImage(assembly.cogCode, {assembly.clkfreq, assembly.clkmode});
}

class ReaderOnChip {
 public:
  ReaderOnChip(double clockMHz, double baud, std::vector<std::uint8_t> eeprom)
      : chip_(config(clockMHz)),
        store_(std::move(eeprom)),
        board_(chip_),
        eeprom_(chip_, devices::EepromBytes(store_.data(), devices::kEepromSize)),
        line_(chip_, devices::SerialLineConfig{baud}),
        highSpeed_(baud > 115200) {
    board_.Attach(eeprom_);
    board_.Attach(line_);
  }

  void launch() { pasm::testing::bootImage(chip_, readerImage()); }

  // One clock byte every 50 ms, from the launch on, until an answer comes; the number of the
  // poll answered (0 for the first), or -1.
  int sync(std::string& answer) {
    for (int poll = 0; poll <= 100; ++poll) {
      line_.Send(chip_, std::string(1, kClock));
      answer = collect(1, 0.05);
      if (!answer.empty()) return poll;
    }
    return -1;
  }

  // The answers to the handshake packet: 250 shift register bits, then 258 clock bytes.
  std::string handshake(ShiftRegister& lfsr, int corruptBit = -1) {
    board_.RunFor(0.012);
    PulseEncoder encoder(highSpeed_);
    for (int i = 1; i <= kHandshakeBits; ++i) encoder.bit(lfsr.next() ^ (i == corruptBit));
    line_.Send(chip_, encoder.flush() + std::string(kHandshakeBits + 8, kClock));
    return collect(kHandshakeBits + 8, 0.3);
  }

  // Sends the command long and `clocks` clock bytes (those of the data and check phases unless
  // told otherwise); gives their answers.
  std::string stream(std::size_t clocks = 262400) {
    PulseEncoder encoder(highSpeed_);
    encoder.longValue(5);
    line_.Send(chip_, encoder.flush());
    board_.RunFor(0.005);
    line_.Send(chip_, std::string(clocks, kClock));
    return collect(clocks, line_.SendDoneSeconds(chip_) - chip_.Seconds() + 0.3);
  }

  cog::Chip& chip() { return chip_; }
  devices::Board& board() { return board_; }
  devices::I2cEeprom& eeprom() { return eeprom_; }
  devices::SerialLine& line() { return line_; }
  const std::vector<std::uint8_t>& store() const { return store_; }

  // The cog that copies the EEPROM into RAM: the one started with PAR at the last long of RAM.
  std::uint32_t readingCog() const {
    for (std::uint32_t id = 0; id < cog::Chip::kCogs; ++id)
      if (chip_.CogAt(id).Active() && chip_.CogAt(id).Par() == kCountAddress) return id;
    return cog::Chip::kCogs;
  }

 private:
  static cog::ChipConfig config(double clockMHz) {
    cog::ChipConfig config;
    config.clock.rcFastHz = clockMHz * 1e6;
    return config;
  }

  std::string collect(std::size_t count, double seconds) {
    std::string received;
    double until = chip_.Seconds() + seconds;
    while (received.size() < count && chip_.Seconds() < until) {
      board_.RunFor(0.001);
      received += line_.TakeReceived();
    }
    return received;
  }

  cog::Chip chip_;
  std::vector<std::uint8_t> store_;
  devices::Board board_;
  devices::I2cEeprom eeprom_;
  devices::SerialLine line_;
  bool highSpeed_;
};

int replyBit(char reply) { return reply == '\xFF' ? 1 : reply == '\xFE' ? 0 : -1; }

std::vector<std::uint8_t> decodeBytes(const std::string& replies, std::size_t count) {
  std::vector<std::uint8_t> bytes(count, 0);
  for (std::size_t i = 0; i < count * 8 && i < replies.size(); ++i) {
    bytes[i / 8] |= static_cast<std::uint8_t>((replyBit(replies[i]) == 1) << (i % 8));
  }
  return bytes;
}

std::vector<std::uint8_t> randomEeprom(unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(devices::kEepromSize);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

struct Link {
  double clockMHz;
  double baud;
};

class ReaderProgram : public ::testing::TestWithParam<Link> {};

TEST_P(ReaderProgram, SendsTheWholeEepromAndItsCrcThenStopsTheChip) {
  ReaderOnChip reader(GetParam().clockMHz, GetParam().baud, randomEeprom(7));
  reader.launch();
  std::string answer;
  const int answered = reader.sync(answer);
  ASSERT_GE(answered, 0) << "no answer to the sync polls";
  // The first poll comes while the reader starts; it calibrates on the second, answers the third.
  EXPECT_LE(answered, 2);
  EXPECT_EQ(answer, "\xFE");

  ShiftRegister lfsr;
  std::string handshake = reader.handshake(lfsr);
  ASSERT_EQ(handshake.size(), 258u);
  for (int i = 0; i < kHandshakeBits; ++i)
    ASSERT_EQ(replyBit(handshake[i]), lfsr.next()) << "answer bit " << i;
  EXPECT_EQ(decodeBytes(handshake.substr(kHandshakeBits), 1)[0], 0xDE);

  std::string data = reader.stream();
  ASSERT_EQ(data.size(), 262144u + 16);
  for (char reply : data) ASSERT_NE(replyBit(reply), -1);
  std::vector<std::uint8_t> bytes = decodeBytes(data, devices::kEepromSize + 2);
  std::vector<std::uint8_t> eeprom(bytes.begin(), bytes.end() - 2);
  EXPECT_TRUE(eeprom == reader.store());
  EXPECT_EQ(bytes[devices::kEepromSize] | bytes[devices::kEepromSize + 1] << 8,
            crc16Modbus(reader.store()));

  EXPECT_TRUE(reader.chip().ClockStopped());
  EXPECT_EQ(reader.chip().ChipDirections(), 0u);
  EXPECT_EQ(reader.readingCog(), cog::Chip::kCogs) << "the reading cog still runs";
  for (const auto& violation : reader.eeprom().Violations()) ADD_FAILURE() << violation.Describe();
}

INSTANTIATE_TEST_SUITE_P(ClockAndRate, ReaderProgram,
                         ::testing::Values(Link{12, 115200}, Link{8, 230400}, Link{20, 230400}),
                         [](const auto& info) {
                           return std::to_string(static_cast<int>(info.param.clockMHz)) + "MHz_" +
                                  std::to_string(static_cast<int>(info.param.baud));
                         });

TEST(ReaderProgramFaults, NoEepromOrAStuckDataLineStopsTheChipWithTheBusReleased) {
  for (devices::EepromFault fault :
       {devices::EepromFault::kAbsent, devices::EepromFault::kSdaHeldLow}) {
    ReaderOnChip reader(20, 115200, std::vector<std::uint8_t>(devices::kEepromSize, 0));
    reader.eeprom().SetFault(fault);
    reader.launch();
    reader.board().RunFor(0.1);
    EXPECT_TRUE(reader.chip().ClockStopped());
    EXPECT_EQ(reader.chip().ChipDirections(), 0u);
    for (const auto& violation : reader.eeprom().Violations())
      ADD_FAILURE() << violation.Describe();
  }
}

TEST(ReaderProgramFaults, AWrongHandshakeBitEndsTheProgramWithoutAnswers) {
  ReaderOnChip reader(20, 115200, std::vector<std::uint8_t>(devices::kEepromSize, 0xFF));
  reader.launch();
  std::string answer;
  ASSERT_GE(reader.sync(answer), 0);
  ShiftRegister lfsr;
  EXPECT_EQ(reader.handshake(lfsr, 100), "");
  EXPECT_TRUE(reader.chip().ClockStopped());
  EXPECT_EQ(reader.chip().ChipDirections(), 0u);
  EXPECT_EQ(reader.readingCog(), cog::Chip::kCogs) << "the reading cog still runs";
  for (const auto& violation : reader.eeprom().Violations()) ADD_FAILURE() << violation.Describe();
}

TEST(ReaderProgramFaults, AReadingCogThatStopsEndsTheAnswersAtTheLastByteItStored) {
  ReaderOnChip reader(20, 230400, randomEeprom(11));
  reader.launch();
  std::string answer;
  ASSERT_GE(reader.sync(answer), 0);
  ShiftRegister lfsr;
  ASSERT_EQ(reader.handshake(lfsr).size(), 258u);
  const std::uint32_t reading = reader.readingCog();
  ASSERT_LT(reading, cog::Chip::kCogs) << "no reading cog runs";
  reader.chip().StopCog(reading);
  const std::uint32_t stored = reader.chip().Memory().ReadLong(kCountAddress);
  ASSERT_GT(stored, 0u);
  ASSERT_LT(stored, 32764u);

  std::string data = reader.stream((stored + 16) * 8);
  ASSERT_EQ(data.size(), stored * 8) << "answers for the bytes stored, and not one more";
  std::vector<std::uint8_t> bytes = decodeBytes(data, stored);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), reader.store().begin()));
  EXPECT_TRUE(reader.chip().ClockStopped());
  EXPECT_EQ(reader.chip().ChipDirections(), 0u);
}

TEST(ReaderProgramFaults, AHostThatGoesQuietMakesTheProgramGiveUp) {
  ReaderOnChip reader(20, 115200, std::vector<std::uint8_t>(devices::kEepromSize, 0xFF));
  reader.launch();
  reader.board().RunFor(3.0);
  EXPECT_TRUE(reader.chip().ClockStopped());
  EXPECT_EQ(reader.chip().ChipDirections(), 0u);
}

}  // namespace
