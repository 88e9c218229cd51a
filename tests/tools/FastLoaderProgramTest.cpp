// The fast loader program on the emulated chip with the chip's ROM (its Spin interpreter starts
// the loader, and the image the loader takes), a 5 MHz crystal and a 24LC256, driven here as the
// host drives it: rate attempts from the highest down, a window of packets with one of them
// damaged, CLOCK, the second stage, RUN, and the second stage's EEPROM write and read-back.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "sim/cog/Chip.h"
#include "sim/devices/Board.h"
#include "sim/devices/I2cEeprom.h"
#include "sim/devices/SerialLine.h"
#include "tests/support/RomFolder.h"
#include "tests/tools/BootImage.h"
#include "tools/Assembler.h"
#include "tools/ProgramImage.h"

namespace {

using namespace qkl;

constexpr std::uint32_t kCommand = 0x80000000;
constexpr std::uint32_t kRun = 1;
constexpr std::uint32_t kEepromShutdown = 2;
constexpr std::uint32_t kStart = 4;
constexpr std::uint32_t kRead = 5;
constexpr std::uint32_t kClock = 6;
constexpr std::uint8_t kCrystalPll16 = 0x6F;  // XTAL1 and PLL16X: 80 MHz from the 5 MHz crystal
constexpr std::size_t kPageBytes = 64;
constexpr char kVerdictPass = '\xA5';
constexpr char kVerdictFail = '\x5A';
constexpr char kVerdictAborted = '\xC3';
constexpr std::uint8_t kNak = 0x80;
constexpr std::size_t kPacketLongs = 64;
constexpr std::uint32_t kStackMarker = 0xFFF9FFFF;
constexpr std::uint32_t kStackBytes = 64;  // what the started image's Spin code uses of its stack
constexpr double kReplySeconds = 0.02;
// Clearing RAM and summing it take 0.1 s at 8 MHz.
constexpr double kVerdictSeconds = 0.2;
// Reading the 512 pages of the EEPROM and comparing them take some 1.7 s at 12 MHz.
constexpr double kEepromVerdictSeconds = 4;

// The program the loader starts: it writes kMarker at kMarkerAddress and stops its cog.
constexpr std::uint32_t kMarker = 0x600DF00D;
constexpr std::uint32_t kMarkerAddress = 0x7000;
constexpr char kProgram[] = R"(
DAT
                org     0
entry           wrlong  marker, address
                cogid   id
                cogstop id
marker          long    $600D_F00D
address         long    $7000
id              res     1
)";

std::vector<std::uint8_t> assembled(const std::string& source) {
  pasm::Assembly assembly = pasm::assemble(source);
  EXPECT_TRUE(assembly.errors.empty());
  return pasm::buildProgramImage(assembly.cogCode, {assembly.clkfreq, assembly.clkmode});
}

std::string sourceText(const char* path) {
  std::ifstream in(path);
  std::ostringstream source;
  source << in.rdbuf();
  return source.str();
}

std::vector<std::uint8_t> loaderImage() { return assembled(sourceText(QKL_FAST_LOADER_SOURCE)); }

// The marker program followed by `padding` random bytes of DAT, so that the image spans packets.
std::vector<std::uint8_t> programImage(std::size_t padding, unsigned seed,
                                       pasm::ClockSettings clock = {12000000, 0x00}) {
  pasm::Assembly assembly = pasm::assemble(kProgram);
  EXPECT_TRUE(assembly.errors.empty());
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < padding; ++i)
    assembly.cogCode.push_back(static_cast<std::uint8_t>(random()));
  return pasm::buildProgramImage(assembly.cogCode, clock);
}

std::uint32_t crc32(std::uint32_t crc, std::uint32_t value) {
  crc ^= value;
  for (int bit = 0; bit < 32; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
  return crc;
}

void appendLong(std::string& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(value >> shift));
}

// The CRC-32 of `bytes` as the chip sends it after them, least significant byte first.
std::string crcBytes(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (char byte : bytes) {
    crc ^= static_cast<std::uint8_t>(byte);
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
  }
  std::string sent;
  appendLong(sent, ~crc);
  return sent;
}

struct Packet {
  std::uint32_t head;
  std::vector<std::uint32_t> data;
  bool damaged = false;  // one data bit flipped after the CRC is made

  std::uint8_t Sequence() const { return head >> 24 & 0x7F; }

  std::string Bytes() const {
    std::string bytes;
    appendLong(bytes, head);
    appendLong(bytes, ~head);
    bytes.push_back('\xFF');
    std::uint32_t crc = crc32(0xFFFFFFFF, head);
    for (std::size_t i = 0; i < data.size(); ++i) {
      crc = crc32(crc, data[i]);
      appendLong(bytes, data[i] ^ (damaged && i == data.size() / 2 ? 0x10000 : 0));
    }
    if (!data.empty()) bytes.push_back('\xFF');
    appendLong(bytes, ~crc);
    bytes.push_back('\xFF');
    return bytes;
  }
};

Packet dataPacket(std::uint8_t sequence, std::uint32_t address, std::vector<std::uint32_t> data) {
  return {static_cast<std::uint32_t>(sequence) << 24 |
              static_cast<std::uint32_t>(data.size()) << 16 | address,
          std::move(data)};
}

Packet command(std::uint8_t sequence, std::uint32_t code, std::uint32_t parameter) {
  return {kCommand | static_cast<std::uint32_t>(sequence) << 24 | code << 16 | parameter, {}};
}

Packet runCommand(std::uint8_t sequence, std::uint32_t imageEnd) {
  return command(sequence, kRun, imageEnd);
}

// The bytes in packets of kPacketLongs longs to RAM from address 0, sequence numbers from
// `sequence` on.
std::vector<Packet> imagePackets(const std::vector<std::uint8_t>& image, std::uint8_t sequence) {
  std::vector<Packet> packets;
  const std::size_t longs = (image.size() + 3) / 4;
  for (std::size_t first = 0; first < longs; first += kPacketLongs) {
    std::vector<std::uint32_t> data;
    for (std::size_t i = first; i < std::min(longs, first + kPacketLongs); ++i) {
      std::uint32_t value = 0;
      for (std::size_t b = 0; b < 4 && i * 4 + b < image.size(); ++b)
        value |= static_cast<std::uint32_t>(image[i * 4 + b]) << (8 * b);
      data.push_back(value);
    }
    packets.push_back(dataPacket(sequence++ & 0x7F, static_cast<std::uint32_t>(first * 4), data));
  }
  return packets;
}

class FastLoaderOnChip {
 public:
  // The host's port is open at 115200 baud, its line idle.
  explicit FastLoaderOnChip(
      double clockMHz,
      std::vector<std::uint8_t> eeprom = std::vector<std::uint8_t>(devices::kEepromSize, 0xFF))
      : chip_(config(clockMHz)),
        board_(chip_),
        store_(std::move(eeprom)),
        eeprom_(chip_, devices::EepromBytes(store_.data(), devices::kEepromSize)) {
    board_.Attach(eeprom_);
    openLine(115200, 1);
  }

  void launch() {
    pasm::testing::bootImage(chip_, loaderImage());
    board_.RunFor(0.01);
  }

  // An attempt at `baud`: the line idle, the calibration bytes and a check packet, from here on
  // in frames with two stop bits; true when the check packet is acknowledged.
  bool attempt(double baud, std::uint8_t sequence, double idleSeconds = 0.012) {
    openLine(baud, 2);
    board_.RunFor(idleSeconds);
    line_->Send(chip_, "\x80\xFF" + dataPacket(sequence, 0, {}).Bytes());
    if (exchange("", 1) != std::string(1, static_cast<char>(sequence))) return false;
    rate_ = baud;
    return true;
  }

  // The rate of the last attempt that passed.
  double rate() const { return rate_; }

  // Sends `bytes` and gives the answers that come until `count` have come or `seconds` after the
  // last byte are over.
  std::string exchange(const std::string& bytes, std::size_t count,
                       double seconds = kReplySeconds) {
    line_->Send(chip_, bytes);
    std::string received;
    const double until = line_->SendDoneSeconds(chip_) + seconds;
    while (received.size() < count && chip_.Seconds() < until) {
      board_.RunFor(0.0005);
      received += line_->TakeReceived();
    }
    return received;
  }

  // Sends `packets` back to back and checks that each is acknowledged.
  void sendAll(const std::vector<Packet>& packets) {
    std::string window;
    std::string expected;
    for (const Packet& packet : packets) {
      window += packet.Bytes();
      expected.push_back(static_cast<char>(packet.Sequence()));
    }
    ASSERT_EQ(exchange(window, packets.size()), expected);
  }

  cog::Chip& chip() { return chip_; }
  devices::Board& board() { return board_; }
  devices::I2cEeprom& eeprom() { return eeprom_; }
  const std::vector<std::uint8_t>& store() const { return store_; }

 private:
  static cog::ChipConfig config(double clockMHz) {
    cog::ChipConfig config{.clock = {}, .romDirectory = simtest::RomFolder()};
    config.clock.rcFastHz = clockMHz * 1e6;
    config.clock.crystalHz = 5e6;  // as on most boards
    return config;
  }

  void openLine(double baud, int stopBits) {
    if (line_) board_.Detach(*line_);
    line_ = std::make_unique<devices::SerialLine>(
        chip_, devices::SerialLineConfig{.baud = baud, .stopBits = stopBits});
    board_.Attach(*line_);
  }

  cog::Chip chip_;
  devices::Board board_;
  std::vector<std::uint8_t> store_;
  devices::I2cEeprom eeprom_;
  std::unique_ptr<devices::SerialLine> line_;
  double rate_ = 0;
};

// RAM as the boot loader leaves it after loading `image`: the rest zero, the stack markers.
std::vector<std::uint8_t> expectedRam(const std::vector<std::uint8_t>& image) {
  std::vector<std::uint8_t> ram(image);
  ram.resize(0x8000, 0);
  const std::uint32_t dbase = image[10] | image[11] << 8;
  for (std::uint32_t address : {dbase - 8, dbase - 4})
    for (int b = 0; b < 4; ++b)
      ram[address + b] = static_cast<std::uint8_t>(kStackMarker >> (8 * b));
  return ram;
}

// Launches the loader, agrees on 460800 baud, switches to the crystal's 80 MHz (PLL16X), asking for
// 23 * 256 bit times (12.8 ms) for the oscillator to settle, and agrees on 3 Mbaud as soon as
// CLOCK's answer is in.
void launchAtEightyMegahertz(FastLoaderOnChip& loader) {
  loader.launch();
  ASSERT_TRUE(loader.attempt(460800, 1));
  ASSERT_EQ(loader.exchange(command(2, kClock, 23 << 8 | kCrystalPll16).Bytes(), 1, 0.02 + 0.0128),
            "\x02");
  ASSERT_TRUE(loader.attempt(3000000, 3, 0));
}

// Sends the second stage's code, told the rate agreed, to RAM from address 0 and starts it.
void startStage(FastLoaderOnChip& loader) {
  pasm::Assembly stage = pasm::assemble(sourceText(QKL_FAST_LOADER_STAGE_SOURCE));
  EXPECT_TRUE(stage.errors.empty());
  const auto rate = static_cast<std::uint32_t>(loader.rate());
  for (std::size_t i = 0; i < 4; ++i)
    stage.cogCode[4 + i] = static_cast<std::uint8_t>(rate >> (8 * i));
  loader.sendAll(imagePackets(stage.cogCode, 10));
  EXPECT_EQ(loader.exchange(command(9, kStart, 0).Bytes(), 1), "\x09");
}

// Launches the loader, agrees on 460800 baud and starts the second stage; the pages the EEPROM
// stores from then on go into `written`.
void launchWithStage(FastLoaderOnChip& loader, std::vector<std::uint32_t>& written) {
  loader.eeprom().OnStore(
      [&](std::uint32_t address, std::uint32_t) { written.push_back(address / kPageBytes); });
  loader.launch();
  ASSERT_TRUE(loader.attempt(460800, 1));
  startStage(loader);
}

struct Link {
  double clockMHz;
  std::vector<double> offered;  // from the highest down
  double agreed;
};

class FastLoaderProgram : public ::testing::TestWithParam<Link> {
 protected:
  void SetUp() override {
    if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  }
};

TEST_P(FastLoaderProgram, AgreesOnARateTakesAWindowOfPacketsAndStartsTheImage) {
  FastLoaderOnChip loader(GetParam().clockMHz);
  loader.launch();
  std::uint8_t sequence = 1;
  double agreed = 0;
  for (double baud : GetParam().offered) {
    if (loader.attempt(baud, sequence++)) {
      agreed = baud;
      break;
    }
  }
  ASSERT_EQ(agreed, GetParam().agreed);
  startStage(loader);

  const std::vector<std::uint8_t> image = programImage(8000, 5);
  std::vector<Packet> packets = imagePackets(image, sequence);
  packets[packets.size() / 2].damaged = true;
  std::string window;
  std::string expected;
  for (const Packet& packet : packets) {
    window += packet.Bytes();
    expected.push_back(static_cast<char>(packet.Sequence() | (packet.damaged ? kNak : 0)));
  }
  ASSERT_EQ(loader.exchange(window, packets.size()), expected);

  Packet again = packets[packets.size() / 2];
  again.damaged = false;
  again.head = (again.head & 0x80FFFFFF) | static_cast<std::uint32_t>(100) << 24;
  ASSERT_EQ(loader.exchange(again.Bytes(), 1), "\x64");

  const std::uint32_t imageEnd = static_cast<std::uint32_t>((image.size() + 3) & ~3u);
  ASSERT_EQ(loader.exchange(runCommand(101, imageEnd).Bytes(), 2, kVerdictSeconds),
            std::string("\x65") + kVerdictPass);

  loader.board().RunFor(0.02);
  // RAM as the boot loader leaves it, but where the image's own Spin code has its stack frame
  // (the stack markers' sum is in the verdict) and the marker its cog writes.
  std::vector<std::uint8_t> ram = expectedRam(image);
  for (int b = 0; b < 4; ++b)
    ram[kMarkerAddress + b] = static_cast<std::uint8_t>(kMarker >> (8 * b));
  const std::uint32_t dbase = image[10] | image[11] << 8;
  for (std::uint32_t address = 0; address < 0x8000; ++address) {
    if (address >= dbase - 8 && address < dbase + kStackBytes) continue;
    ASSERT_EQ(loader.chip().Memory().ReadByte(address), ram[address]) << "at " << address;
  }
  EXPECT_EQ(loader.chip().ClockRegister(), image[4]);
  for (std::uint32_t id = 0; id < cog::Chip::kCogs; ++id)
    EXPECT_FALSE(loader.chip().CogAt(id).Active()) << "cog " << id << " still runs";
}

// The fastest rate at each end of the RC clock's range and at its middle; the rates above it are
// refused by silence.
INSTANTIATE_TEST_SUITE_P(RcClock, FastLoaderProgram,
                         ::testing::Values(Link{8, {460800, 230400}, 230400},
                                           Link{12, {921600, 460800}, 460800},
                                           Link{20, {2000000, 921600}, 921600}),
                         [](const auto& info) {
                           return std::to_string(static_cast<int>(info.param.clockMHz)) + "MHz_" +
                                  std::to_string(static_cast<int>(info.param.agreed));
                         });

TEST(FastLoaderProgramClock, RunsACrystalImagesClockAndTakesTheImageAtThreeMegabaud) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  FastLoaderOnChip loader(12);
  ASSERT_NO_FATAL_FAILURE(launchAtEightyMegahertz(loader));
  EXPECT_EQ(loader.chip().ClockRegister(), kCrystalPll16);
  startStage(loader);

  const std::vector<std::uint8_t> image = programImage(8000, 6, {80000000, kCrystalPll16});
  loader.sendAll(imagePackets(image, 4));
  const std::uint32_t imageEnd = static_cast<std::uint32_t>((image.size() + 3) & ~3u);
  ASSERT_EQ(loader.exchange(runCommand(101, imageEnd).Bytes(), 2, kVerdictSeconds),
            std::string("\x65") + kVerdictPass);
  loader.board().RunFor(0.02);
  EXPECT_EQ(loader.chip().Memory().ReadLong(kMarkerAddress), kMarker) << "the image did not run";
  EXPECT_EQ(loader.chip().ClockRegister(), kCrystalPll16);
}

TEST(FastLoaderProgramFaults, AWrongChecksumIsReportedAndTheChipShutsDown) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  FastLoaderOnChip loader(12);
  loader.launch();
  ASSERT_TRUE(loader.attempt(230400, 1));
  startStage(loader);
  std::vector<std::uint8_t> image = programImage(500, 9);
  image[5] ^= 1;
  loader.sendAll(imagePackets(image, 2));
  const std::uint32_t imageEnd = static_cast<std::uint32_t>((image.size() + 3) & ~3u);
  EXPECT_EQ(loader.exchange(runCommand(50, imageEnd).Bytes(), 2, kVerdictSeconds),
            std::string("\x32") + kVerdictFail);
  EXPECT_TRUE(loader.chip().ClockStopped());
  EXPECT_EQ(loader.chip().ChipDirections(), 0u);
}

TEST(FastLoaderProgramFaults, AHostThatNeverComesShutsTheChipDown) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  FastLoaderOnChip loader(20);
  loader.launch();
  loader.board().RunFor(1.0);
  EXPECT_FALSE(loader.chip().ClockStopped()) << "the watchdog's time is 1.5 s at 20 MHz";
  loader.board().RunFor(1.0);
  EXPECT_TRUE(loader.chip().ClockStopped());
  EXPECT_EQ(loader.chip().ChipDirections(), 0u);
}

TEST(FastLoaderProgramFaults, AtEightyMegahertzTheSecondStageStillWaitsOneAndAHalfSeconds) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  FastLoaderOnChip loader(12);
  ASSERT_NO_FATAL_FAILURE(launchAtEightyMegahertz(loader));
  startStage(loader);
  loader.board().RunFor(1.3);
  EXPECT_FALSE(loader.chip().ClockStopped()) << "the watchdog's time is 1.5 s at any clock";
  loader.board().RunFor(0.5);
  EXPECT_TRUE(loader.chip().ClockStopped());
  EXPECT_EQ(loader.chip().ChipDirections(), 0u);
}

// Starts the second stage, sends `image` and the command to write it into the EEPROM and shut down;
// gives the answers to the command.
std::string writeEeprom(FastLoaderOnChip& loader, const std::vector<std::uint8_t>& image) {
  startStage(loader);
  loader.sendAll(imagePackets(image, 4));
  const std::uint32_t imageEnd = static_cast<std::uint32_t>((image.size() + 3) & ~3u);
  std::string answers =
      loader.exchange(command(100, kEepromShutdown, imageEnd).Bytes(), 3, kEepromVerdictSeconds);
  loader.board().RunFor(0.001);
  return answers;
}

TEST(FastLoaderProgramEeprom, WritesOnlyThePagesThatDifferVerifiesAllAndShutsDown) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  const std::vector<std::uint8_t> image = programImage(6000, 3);
  const std::vector<std::uint8_t> ram = expectedRam(image);
  std::vector<std::uint8_t> eeprom = ram;
  const std::vector<std::uint32_t> changed = {0, 17, 93, 511};  // the last one past the image
  for (std::uint32_t page : changed) eeprom[page * kPageBytes + 5] ^= 0x24;
  FastLoaderOnChip loader(12, eeprom);
  std::vector<std::uint32_t> written;
  loader.eeprom().OnStore([&](std::uint32_t address, std::uint32_t length) {
    EXPECT_EQ(length, kPageBytes);
    written.push_back(address / kPageBytes);
  });
  loader.launch();
  ASSERT_TRUE(loader.attempt(460800, 1));
  const double start = loader.chip().Seconds();
  EXPECT_EQ(writeEeprom(loader, image), std::string("\x64") + kVerdictPass + kVerdictPass);
  // 1.5 s with the I2C timed from the clock, 353 kHz at 12 MHz; 2 s when it was timed for 20 MHz.
  EXPECT_LT(loader.chip().Seconds() - start, 1.7) << "the I2C is slower than the clock allows";
  EXPECT_EQ(written, changed);
  EXPECT_TRUE(loader.store() == ram) << "the EEPROM does not hold RAM as the boot loader leaves it";
  EXPECT_TRUE(loader.chip().ClockStopped());
  EXPECT_EQ(loader.chip().ChipDirections(), 0u);
  for (const auto& violation : loader.eeprom().Violations()) ADD_FAILURE() << violation.Describe();
}

// Zeros sent back to back while the chip writes the EEPROM: it finishes the page in progress,
// answers with the map of the pages it wrote and its CRC, and shuts down.
TEST(FastLoaderProgramEeprom, ZerosFromTheHostStopTheWriteAndTheChipSaysWhichPagesItWrote) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  FastLoaderOnChip loader(12);  // an erased EEPROM: every page is to be written
  std::vector<std::uint32_t> written;
  ASSERT_NO_FATAL_FAILURE(launchWithStage(loader, written));
  const std::vector<std::uint8_t> image = programImage(6000, 3);
  loader.sendAll(imagePackets(image, 4));
  const std::uint32_t imageEnd = static_cast<std::uint32_t>((image.size() + 3) & ~3u);
  ASSERT_EQ(loader.exchange(command(100, kEepromShutdown, imageEnd).Bytes(), 2, kVerdictSeconds),
            std::string("\x64") + kVerdictPass);
  loader.board().RunFor(0.03);
  const std::string answers = loader.exchange(std::string(2000, '\0'), 1 + 64 + 4, 0.05);
  ASSERT_EQ(answers.size(), 1u + 64 + 4);
  EXPECT_EQ(answers[0], kVerdictAborted);
  std::string map(64, '\0');
  for (std::uint32_t page : written) map[page / 8] |= static_cast<char>(1 << (page % 8));
  EXPECT_EQ(answers.substr(1, 64), map);
  EXPECT_EQ(answers.substr(65), crcBytes(map));
  EXPECT_GT(written.size(), 1u);
  EXPECT_LT(written.size(), 10u);
  loader.board().RunFor(0.01);
  EXPECT_TRUE(loader.chip().ClockStopped());
  EXPECT_EQ(loader.chip().ChipDirections(), 0u);
}

// A reset while the EEPROM sends a byte can leave it holding SDA low, in the middle of a read; the
// EEPROM here holds the image already, so no page is to be written. Resets at several moments of a
// bit's time and of a byte's.
TEST(FastLoaderProgramEeprom, AfterAResetInTheMiddleOfAReadClearsTheBusFirst) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  const std::vector<std::uint8_t> image = programImage(2000, 12);
  for (int delay = 0; delay < 30; delay += 3) {
    SCOPED_TRACE(testing::Message() << "reset " << delay << " us after 100 bytes came");
    FastLoaderOnChip loader(12, expectedRam(image));
    std::vector<std::uint32_t> written;
    ASSERT_NO_FATAL_FAILURE(launchWithStage(loader, written));
    ASSERT_GE(loader.exchange(command(20, kRead, 32).Bytes(), 100).size(), 100u);
    loader.board().RunFor(delay * 1e-6);
    loader.chip().Reset();
    loader.launch();
    ASSERT_TRUE(loader.attempt(460800, 1));
    EXPECT_EQ(writeEeprom(loader, image), std::string("\x64") + kVerdictPass + kVerdictPass);
    EXPECT_EQ(written, std::vector<std::uint32_t>{});
  }
}

TEST(FastLoaderProgramEeprom, NoEepromFailsTheEepromVerdictAndShutsDown) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  FastLoaderOnChip loader(20);
  loader.eeprom().SetFault(devices::EepromFault::kAbsent);
  loader.launch();
  ASSERT_TRUE(loader.attempt(460800, 1));
  EXPECT_EQ(writeEeprom(loader, programImage(500, 4)),
            std::string("\x64") + kVerdictPass + kVerdictFail);
  EXPECT_TRUE(loader.chip().ClockStopped());
  EXPECT_EQ(loader.chip().ChipDirections(), 0u);
}

struct ReadBack {
  double clockMHz;
  double baud;
  std::uint32_t kilobytes;
};

class FastLoaderReadBack : public ::testing::TestWithParam<ReadBack> {
 protected:
  void SetUp() override {
    if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  }
};

TEST_P(FastLoaderReadBack, ReadsTheEepromBackWithItsCrcAndShutsDown) {
  std::mt19937 random(17);
  std::vector<std::uint8_t> eeprom(devices::kEepromSize);
  for (std::uint8_t& byte : eeprom) byte = static_cast<std::uint8_t>(random());
  // A 24LC256 read past its end goes on from address 0.
  std::string expected;
  for (std::uint32_t copy = 0; copy < GetParam().kilobytes * 1024 / devices::kEepromSize; ++copy)
    expected.append(eeprom.begin(), eeprom.end());
  FastLoaderOnChip loader(GetParam().clockMHz, eeprom);
  loader.launch();
  ASSERT_TRUE(loader.attempt(GetParam().baud, 1));
  startStage(loader);
  std::string answers = loader.exchange(command(9, kRead, GetParam().kilobytes).Bytes(),
                                        expected.size() + 5, kEepromVerdictSeconds);
  ASSERT_EQ(answers.size(), expected.size() + 5);
  EXPECT_EQ(answers[0], '\x09');
  EXPECT_TRUE(answers.substr(1, expected.size()) == expected);
  EXPECT_EQ(answers.substr(expected.size() + 1), crcBytes(expected));
  loader.board().RunFor(0.001);
  EXPECT_TRUE(loader.chip().ClockStopped());
  EXPECT_EQ(loader.chip().ChipDirections(), 0u);
  for (const auto& violation : loader.eeprom().Violations()) ADD_FAILURE() << violation.Describe();
}

// The fastest rate at 20 MHz, where the sender keeps up with the reader; 64 KB at a slower rate at
// 12 MHz, where the reader would be a ring ahead of the sender before the end; and 8 MHz, where the
// instructions between two WAITCNTs, not the 400 kHz times, set the I2C phases.
INSTANTIATE_TEST_SUITE_P(Rates, FastLoaderReadBack,
                         ::testing::Values(ReadBack{20, 921600, 32}, ReadBack{12, 230400, 64},
                                           ReadBack{8, 230400, 32}),
                         [](const auto& info) {
                           return std::to_string(static_cast<int>(info.param.clockMHz)) + "MHz_" +
                                  std::to_string(static_cast<int>(info.param.baud)) + "_" +
                                  std::to_string(info.param.kilobytes) + "KB";
                         });

TEST(FastLoaderProgramEeprom, AtTheCrystalClockKeepsTheI2cTimingOf400kHz) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  const std::vector<std::uint8_t> image = programImage(2000, 8, {80000000, kCrystalPll16});
  std::vector<std::uint8_t> eeprom = expectedRam(image);
  for (std::size_t page = 0; page < 40; ++page) eeprom[page * kPageBytes] ^= 1;  // the image's
  FastLoaderOnChip loader(12, eeprom);
  ASSERT_NO_FATAL_FAILURE(launchAtEightyMegahertz(loader));
  EXPECT_EQ(writeEeprom(loader, image), std::string("\x64") + kVerdictPass + kVerdictPass);
  EXPECT_TRUE(loader.store() == expectedRam(image));
  for (const auto& violation : loader.eeprom().Violations()) ADD_FAILURE() << violation.Describe();
}

}  // namespace
