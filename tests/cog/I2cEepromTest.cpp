// The 24LC256 model driven by a bit-banged master on the emulated chip, its timing checker,
// its faults, and the boot ROM loading a program from it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "sim/devices/I2cEeprom.h"
#include "tests/cog/I2cMaster.h"
#include "tests/support/RomFolder.h"

namespace qkl::cog::testing {
namespace {

using devices::Board;
using devices::EepromFault;
using devices::I2cEeprom;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr uint8_t kWriteControl = 0xA0;
constexpr uint8_t kReadControl = 0xA1;
constexpr uint32_t kAck = 0;
constexpr uint32_t kNack = 1;

ChipConfig AtMHz(double mhz) {
  ChipConfig config;
  config.clock.rcFastHz = mhz * 1e6;
  return config;
}

class Eeprom : public ::testing::Test {
 protected:
  Eeprom() : chip(AtMHz(20)), board(chip), eeprom(chip, store) {
    for (std::size_t i = 0; i < store.size(); ++i)
      store[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    board.Attach(eeprom);
  }

  std::vector<uint32_t> Run(const I2cMaster& master, bool fast = false) {
    return master.Run(chip, board, fast);
  }

  std::array<uint8_t, devices::kEepromSize> store{};
  Chip chip;
  Board board;
  I2cEeprom eeprom;
};

// START, $A0, address high, address low, repeated START, $A1, then `count` reads.
I2cMaster RandomRead(uint16_t address, int count) {
  I2cMaster master;
  master.Start().Write(kWriteControl).Write(address >> 8).Write(address & 0xFF);
  master.Start().Write(kReadControl);
  for (int i = 0; i < count; ++i) master.Read(i + 1 < count);
  master.Stop();
  return master;
}

TEST_F(Eeprom, RandomReadAcknowledgesAndStreamsFromTheAddress) {
  const std::vector<uint32_t> results = Run(RandomRead(0x1234, 3));
  EXPECT_THAT(results,
              ElementsAre(kAck, kAck, kAck, kAck, store[0x1234], store[0x1235], store[0x1236]));
  EXPECT_THAT(eeprom.Violations(), IsEmpty()) << eeprom.Violations()[0].Describe();
}

TEST_F(Eeprom, SequentialReadWrapsFromTheLastByteToTheFirst) {
  std::vector<uint32_t> results = Run(RandomRead(0x7FFE, 4));
  results.erase(results.begin(), results.begin() + 4);
  EXPECT_THAT(results, ElementsAre(store[0x7FFE], store[0x7FFF], store[0], store[1]));
  I2cMaster current;
  current.Start().Write(kReadControl).Read(false).Stop();
  EXPECT_THAT(Run(current), ElementsAre(kAck, store[2]))
      << "a current-address read goes on from there";
}

TEST_F(Eeprom, OnlyItsOwnDeviceAddressIsAcknowledged) {
  I2cMaster master;
  master.Start().Write(0xA2).Stop().Start().Write(0x50).Stop().Start().Write(kWriteControl).Stop();
  EXPECT_THAT(Run(master), ElementsAre(kNack, kNack, kAck));
}

TEST_F(Eeprom, APageWriteIsStoredAfterTheWriteCycleAndWrapsInsideItsPage) {
  std::vector<std::pair<uint32_t, uint32_t>> stored;
  eeprom.OnStore([&](uint32_t address, uint32_t length) { stored.emplace_back(address, length); });
  const std::array<uint8_t, 32> before = [&] {
    std::array<uint8_t, 32> copy{};
    std::copy(store.begin() + 0x130, store.begin() + 0x150, copy.begin());
    return copy;
  }();
  I2cMaster master;
  master.Start()
      .Write(kWriteControl)
      .Write(0x01)
      .Write(0x3E)
      .Write(0x11)
      .Write(0x22)
      .Write(0x33)
      .Write(0x44)
      .Stop();
  master.Start().Write(kWriteControl).Stop();  // acknowledge polling while the cycle runs
  master.Wait(120000);                         // 6 ms at 20 MHz
  master.Start().Write(kWriteControl).Stop();
  EXPECT_THAT(Run(master), ElementsAre(kAck, kAck, kAck, kAck, kAck, kAck, kAck, kNack, kAck));
  EXPECT_EQ(store[0x13E], 0x11);
  EXPECT_EQ(store[0x13F], 0x22);
  EXPECT_EQ(store[0x100], 0x33) << "the address wrapped to the start of the page";
  EXPECT_EQ(store[0x101], 0x44);
  EXPECT_EQ(store[0x140], before[0x10]) << "the next page is untouched";
  EXPECT_EQ(store[0x13D], before[0x0D]);
  EXPECT_THAT(stored, ElementsAre(std::make_pair(0x100u, 0x40u)));
  EXPECT_THAT(eeprom.Violations(), IsEmpty());
}

TEST_F(Eeprom, NothingIsWrittenWithoutAStopAndAddressOnlyWritesStartNoCycle) {
  I2cMaster master;
  master.Start().Write(kWriteControl).Write(0x00).Write(0x10).Write(0x99);
  master.Start().Write(kWriteControl).Write(0x00).Write(0x20).Stop();  // repeated START drops the
                                                                       // data
  master.Start().Write(kWriteControl).Stop();                          // and no write cycle runs
  const uint8_t before = store[0x10];
  EXPECT_THAT(Run(master), ElementsAre(kAck, kAck, kAck, kAck, kAck, kAck, kAck, kAck));
  EXPECT_EQ(store[0x10], before);
  EXPECT_FALSE(eeprom.WriteCyclePending());
}

TEST_F(Eeprom, AStartOrStopAnywhereResetsTheDevice) {
  I2cMaster master;
  master.Start().Write(kWriteControl).Write(0x00);  // half an address, then a new START
  master.Start().Write(kWriteControl).Stop();       // a STOP straight after the device byte
  master.Start()
      .Write(kWriteControl)
      .Write(0x00)
      .Write(0x42)
      .Start()
      .Write(kReadControl)
      .Read(false)
      .Stop();
  EXPECT_THAT(Run(master), ElementsAre(kAck, kAck, kAck, kAck, kAck, kAck, kAck, store[0x42]));
}

TEST_F(Eeprom, TheFaultsGiveNoAcknowledgeOrALowDataLine) {
  eeprom.SetFault(EepromFault::kAbsent);
  I2cMaster master;
  master.Start().Write(kWriteControl).Write(0x00).Stop();
  EXPECT_THAT(Run(master), ElementsAre(kNack, kNack));
  eeprom.SetFault(EepromFault::kSdaHeldLow);
  I2cMaster reader;
  reader.Start().Write(kReadControl).Read(false).Stop();
  EXPECT_THAT(Run(reader), ElementsAre(kAck, 0u))
      << "a held-low line reads as acknowledges and zeros";
}

TEST_F(Eeprom, TheCheckerReportsTooShortClockPhasesWithCycleAndRule) {
  const std::vector<uint32_t> results = Run(RandomRead(0x0000, 1), true);
  ASSERT_FALSE(eeprom.Violations().empty());
  const devices::I2cViolation& first = eeprom.Violations().front();
  EXPECT_GT(first.cycle, 0u);
  EXPECT_LT(first.measuredNs, first.minimumNs);
  // Without its delays the master's read loop holds SCL low for 16 clocks, 800 ns at 20 MHz.
  EXPECT_EQ(first.rule, "tLOW (SCL low time)");
  EXPECT_NEAR(first.measuredNs, 800, 1);
  EXPECT_THAT(first.Describe(),
              ::testing::MatchesRegex("cycle [0-9]+: t.* [0-9]+ ns, minimum [0-9]+ ns"));
}

TEST(TimingChecker, EachMinimumIsCheckedOnItsOwnEdge) {
  devices::I2cTimingChecker checker;
  double t = 0;
  auto at = [&](double ns, bool scl, bool sda) {
    t += ns * 1e-9;
    checker.Observe(static_cast<uint64_t>(t * 1e9), t, scl, sda);
  };
  at(0, true, true);
  at(5000, true, false);  // START
  at(500, false, false);  // tHD:STA 500 < 600
  at(1000, false, true);  // data
  at(50, true, true);     // tLOW 1050 < 1300, tSU:DAT 50 < 100
  at(500, false, true);   // tHIGH 500 < 600
  at(1400, false, false);
  at(200, true, false);
  at(700, true, true);    // STOP, tSU:STO 700: fine
  at(1000, true, false);  // START, tBUF 1000 < 1300
  std::vector<std::string> rules;
  for (const devices::I2cViolation& violation : checker.Violations())
    rules.push_back(violation.rule.substr(0, 7));
  EXPECT_THAT(rules, ElementsAre("tHD:STA", "tLOW (S", "tSU:DAT", "tHIGH (", "tBUF (b"));
}

// The whole chain: the boot ROM finds no host, reads a program image from the EEPROM over
// I2C and starts it with the ROM's interpreter.
TEST(EepromBoot, TheBootRomLoadsAndStartsAProgramFromTheEeprom) {
  if (const std::string why = simtest::WhyNoRom(); !why.empty())
    GTEST_SKIP() << why << "; the EEPROM boot is not tried";
  const std::filesystem::path rom = simtest::RomFolder();
  for (double mhz : {8.0, 20.0}) {
    std::array<uint8_t, devices::kEepromSize> store{};
    const std::vector<uint8_t> image = {
        0x00, 0x1B, 0xB7, 0x00, 0x00, 0x06, 0x10, 0x00, 0x24, 0x00, 0x2C, 0x00, 0x1C, 0x00, 0x30,
        0x00, 0x14, 0x00, 0x02, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7C, 0x5C, 0x34, 0xC7,
        0x08, 0x35, 0x2C, 0x32, 0x00, 0x00, 0xFF, 0xFF, 0xF9, 0xFF, 0xFF, 0xFF, 0xF9, 0xFF};
    std::copy(image.begin(), image.end(), store.begin());
    ChipConfig config = AtMHz(mhz);
    config.romDirectory = rom;
    Chip chip(config);
    Board board(chip);
    I2cEeprom eeprom(chip, store);
    board.Attach(eeprom);
    chip.DriveExternally(1u << 31, 0);  // no host
    for (int slice = 0; slice < 400 && !chip.CogAt(1).Active(); ++slice) board.RunFor(0.01);
    ASSERT_TRUE(chip.CogAt(1).Active()) << mhz << " MHz";
    EXPECT_EQ(chip.CogAt(1).Register(0), 0x5C7C0000u);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x24, chip.Memory().Ram().begin()));
    EXPECT_THAT(eeprom.Violations(), IsEmpty())
        << mhz << " MHz: " << eeprom.Violations()[0].Describe();
  }
}

}  // namespace
}  // namespace qkl::cog::testing
