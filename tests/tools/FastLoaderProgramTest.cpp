// The fast loader program on the emulated chip with the chip's ROM (its Spin interpreter starts
// the loader, and the image the loader takes), driven here as the host drives it: rate attempts
// from the highest down, a window of packets with one of them damaged, the RUN command.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "sim/cog/Chip.h"
#include "sim/devices/Board.h"
#include "sim/devices/SerialLine.h"
#include "tests/support/RomFolder.h"
#include "tests/tools/BootImage.h"
#include "tools/Assembler.h"
#include "tools/ProgramImage.h"

namespace {

using namespace qkl;

constexpr std::uint32_t kCommand = 0x80000000;
constexpr std::uint32_t kRun = 1;
constexpr char kVerdictPass = '\xA5';
constexpr char kVerdictFail = '\x5A';
constexpr std::uint8_t kNak = 0x80;
constexpr std::size_t kPacketLongs = 64;
constexpr std::uint32_t kStackMarker = 0xFFF9FFFF;
constexpr std::uint32_t kStackBytes = 64;  // what the started image's Spin code uses of its stack
constexpr double kReplySeconds = 0.02;
// Clearing RAM and summing it take 0.1 s at 8 MHz.
constexpr double kVerdictSeconds = 0.2;

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

std::vector<std::uint8_t> loaderImage() {
  std::ifstream in(QKL_FAST_LOADER_SOURCE);
  std::ostringstream source;
  source << in.rdbuf();
  return assembled(source.str());
}

// The marker program followed by `padding` random bytes of DAT, so that the image spans packets.
std::vector<std::uint8_t> programImage(std::size_t padding, unsigned seed) {
  pasm::Assembly assembly = pasm::assemble(kProgram);
  EXPECT_TRUE(assembly.errors.empty());
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < padding; ++i)
    assembly.cogCode.push_back(static_cast<std::uint8_t>(random()));
  return pasm::buildProgramImage(assembly.cogCode, {assembly.clkfreq, assembly.clkmode});
}

std::uint32_t crc32(std::uint32_t crc, std::uint32_t value) {
  crc ^= value;
  for (int bit = 0; bit < 32; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
  return crc;
}

void appendLong(std::string& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(value >> shift));
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

Packet runCommand(std::uint8_t sequence, std::uint32_t imageEnd) {
  return {kCommand | static_cast<std::uint32_t>(sequence) << 24 | kRun << 16 | imageEnd, {}};
}

// The image in packets of kPacketLongs longs, sequence numbers from `sequence` on.
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
  explicit FastLoaderOnChip(double clockMHz) : chip_(config(clockMHz)), board_(chip_) {
    openLine(115200, 1);
  }

  void launch() {
    pasm::testing::bootImage(chip_, loaderImage());
    board_.RunFor(0.01);
  }

  // An attempt at `baud`: the line idle, the calibration bytes and a check packet, from here on
  // in frames with two stop bits; true when the check packet is acknowledged.
  bool attempt(double baud, std::uint8_t sequence) {
    openLine(baud, 2);
    board_.RunFor(0.012);
    line_->Send(chip_, "\x80\xFF" + dataPacket(sequence, 0, {}).Bytes());
    return exchange("", 1) == std::string(1, static_cast<char>(sequence));
  }

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

  cog::Chip& chip() { return chip_; }
  devices::Board& board() { return board_; }

 private:
  static cog::ChipConfig config(double clockMHz) {
    cog::ChipConfig config{.clock = {}, .romDirectory = simtest::RomFolder()};
    config.clock.rcFastHz = clockMHz * 1e6;
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
  std::unique_ptr<devices::SerialLine> line_;
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

TEST(FastLoaderProgramFaults, AWrongChecksumIsReportedAndTheChipShutsDown) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty()) GTEST_SKIP() << why;
  FastLoaderOnChip loader(12);
  loader.launch();
  ASSERT_TRUE(loader.attempt(230400, 1));
  std::vector<std::uint8_t> image = programImage(500, 9);
  image[5] ^= 1;
  std::vector<Packet> packets = imagePackets(image, 2);
  for (const Packet& packet : packets)
    ASSERT_EQ(loader.exchange(packet.Bytes(), 1),
              std::string(1, static_cast<char>(packet.Sequence())));
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

}  // namespace
