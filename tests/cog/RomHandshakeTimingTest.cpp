// The ROM's boot loader against the handshake packet exactly as qkl encodes it: several protocol
// bits to a serial byte, one bit time of high line between two low pulses.
//
// The loader polls its receive pin every 8 clocks (TEST and DJNZ), starts counting a low pulse
// 16 clocks after it saw the fall, and after checking a handshake bit polls for the next fall
// 52 clocks after it saw the rise. It takes its threshold as the mean (rounded down) of the
// counts of the two calibration pulses. At 8 MHz and 230400 baud a bit time is 34.7 clocks, so
// the loader comes back 17 to 25 clocks into the next pulse: a 0 then counts 4 or 5 polls, and
// the calibration gives 4 or 5 depending on where in its 8-clock loop the calibration byte
// arrives. With 5 the first 0 after a one-bit gap reads as 1 and the loader boots from the
// EEPROM: a real chip at the bottom of the RC clock's range misses a 230400 baud handshake in
// part of its resets.
#include <gtest/gtest.h>

#include <array>
#include <iostream>
#include <string>

#include "link/ShiftRegister.h"
#include "link/StreamEncoder.h"
#include "sim/BootLoader.h"
#include "sim/BootTiming.h"
#include "sim/devices/Board.h"
#include "sim/devices/I2cEeprom.h"
#include "sim/devices/SerialLine.h"
#include "tests/support/RomFolder.h"

namespace qkl::cog::testing {
namespace {

constexpr uint32_t kThresholdRegister = 0x0EC;
constexpr int kPhases = 8;  // one clock apart: every place in the loader's 8-clock poll loop

std::string QklHandshakePacket() {
  TStreamEncoder Encoder;
  Encoder.Reset();
  uint8_t Lfsr = LfsrSeed;
  for (int Bit = 0; Bit < 250; ++Bit) Encoder.EncodeBit(StepShiftRegister(Lfsr), 0, false);
  // Appended piece by piece: "\xF9" + a temporary string makes GCC 12 warn (-Wrestrict).
  std::string Packet(1, '\xF9');
  Packet += Encoder.Flush();
  Packet.append(258, '\xF9');
  return Packet;
}

std::string ExpectedAnswers() {
  uint8_t Lfsr = LfsrSeed;
  for (int Bit = 0; Bit < 250; ++Bit) StepShiftRegister(Lfsr);
  std::string Bytes;
  for (int Bit = 0; Bit < 250; ++Bit) Bytes.push_back(StepShiftRegister(Lfsr) ? '\xFF' : '\xFE');
  Bytes += "\xFF\xFE\xFE\xFE\xFE\xFE\xFE\xFE";  // version 1, least significant bit first
  return Bytes;
}

struct Combination {
  double Mhz;
  double Baud;
};

struct Handshake {
  std::string Answers;
  uint32_t Threshold;
};

// A chip booting its ROM on the RC clock, with the host's line and an EEPROM on its pins.
struct RomChip {
  RomChip(double Mhz, double Baud)
      : Emulated({.clock = {.rcFastHz = Mhz * 1e6}, .romDirectory = simtest::RomFolder()}),
        Board(Emulated),
        Line(Emulated, {.baud = Baud}),
        Eeprom(Emulated, Store) {
    Board.Attach(Line);
    Board.Attach(Eeprom);
  }
  // Sends the bytes and runs until they are through, and a millisecond more.
  std::string Exchange(const std::string& Bytes) {
    Line.Send(Emulated, Bytes);
    Board.RunFor(Line.SendDoneSeconds(Emulated) - Emulated.Seconds() + 0.001);
    return Line.TakeReceived();
  }
  Chip Emulated;
  devices::Board Board;
  devices::SerialLine Line;
  std::array<uint8_t, devices::kEepromSize> Store{};
  devices::I2cEeprom Eeprom;
};

// The packet starts 10 ms plus Phase clocks after the reset.
Handshake HandshakeAt(double Mhz, double Baud, int Phase) {
  RomChip Rom(Mhz, Baud);
  Rom.Board.RunUntil(Rom.Emulated.CycleAt(0.010 + Phase / (Mhz * 1e6)));
  const std::string Answers = Rom.Exchange(QklHandshakePacket());
  return {Answers, Rom.Emulated.CogAt(0).Register(kThresholdRegister)};
}

// The boot loader model from a reset, given the packet Phase clocks after 10 ms.
std::string ModelHandshakeAt(double Mhz, double Baud, int Phase) {
  qkl::sim::ChipSettings Settings;
  Settings.clockHz = Mhz * 1e6;
  qkl::sim::EepromStore Eeprom("");
  qkl::sim::BootLoader Loader(Settings, Eeprom, nullptr);
  const qkl::sim::TimePoint Reset{};
  Loader.Reset(Reset);
  const auto Delay = std::chrono::duration<double>(0.010 + Phase / Settings.clockHz);
  return Loader.HostBytes(QklHandshakePacket(), static_cast<uint32_t>(Baud),
                          Reset + std::chrono::duration_cast<qkl::sim::Duration>(Delay));
}

class RomHandshakeTiming : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = simtest::WhyNoRom(); !why.empty())
      GTEST_SKIP() << why << "; the handshake is not tried";
  }
};

TEST_F(RomHandshakeTiming,
       AtEightMegahertzAnd230400TheCalibrationDecidesWhetherTheHandshakePasses) {
  int Passed = 0;
  for (int Phase = 0; Phase < kPhases; ++Phase) {
    const Handshake Outcome = HandshakeAt(8, 230400, Phase);
    if (Outcome.Threshold == 4) {
      EXPECT_EQ(Outcome.Answers, ExpectedAnswers()) << "phase " << Phase;
      ++Passed;
    } else {
      EXPECT_EQ(Outcome.Threshold, 5u) << "phase " << Phase;
      EXPECT_EQ(Outcome.Answers, "") << "phase " << Phase << ": the loader boots from the EEPROM";
    }
  }
  EXPECT_GT(Passed, 0);
  EXPECT_LT(Passed, kPhases);
}

TEST_F(RomHandshakeTiming, EveryPhasePassesAtOtherClocksAndRates) {
  for (const Combination Each :
       {Combination{8, 115200}, Combination{8.5, 230400}, Combination{12, 230400},
        Combination{20, 230400}, Combination{20, 115200}})
    for (int Phase = 0; Phase < kPhases; ++Phase)
      EXPECT_EQ(HandshakeAt(Each.Mhz, Each.Baud, Phase).Answers, ExpectedAnswers())
          << Each.Mhz << " MHz, " << Each.Baud << " Bd, phase " << Phase;
}

// The model places its polls from the time since the reset, the ROM from where its loop happens
// to be, so the phases differ by a constant; over a whole loop the two must pass as often.
TEST_F(RomHandshakeTiming, TheBootLoaderModelPassesInAsManyPlacesOfThePollLoopAsTheRom) {
  for (const Combination Each : {Combination{8, 230400}, Combination{8, 115200},
                                 Combination{12, 230400}, Combination{20, 230400}}) {
    int RomPassed = 0;
    int ModelPassed = 0;
    for (int Phase = 0; Phase < kPhases; ++Phase) {
      RomPassed += HandshakeAt(Each.Mhz, Each.Baud, Phase).Answers == ExpectedAnswers();
      const std::string Model = ModelHandshakeAt(Each.Mhz, Each.Baud, Phase);
      EXPECT_TRUE(Model.empty() || Model == ExpectedAnswers())
          << Each.Mhz << " MHz, " << Each.Baud << " Bd";
      ModelPassed += Model == ExpectedAnswers();
    }
    EXPECT_EQ(ModelPassed, RomPassed) << Each.Mhz << " MHz, " << Each.Baud << " Bd";
  }
}

// A mode 2 download of a small image: polls with $F9 every millisecond for each verdict and
// gives the time from the end of the image (or the previous verdict) to each answer.
std::vector<double> VerdictTimesAt(double Mhz) {
  RomChip Rom(Mhz, 115200);
  Rom.Board.RunFor(0.010);
  EXPECT_EQ(Rom.Exchange(QklHandshakePacket()), ExpectedAnswers());
  TStreamEncoder Encoder;
  Encoder.Reset();
  const std::vector<uint32_t> Image = {0x00B71B00, 0x00100600, 0x002C0024, 0x0030001C, 0x00020014,
                                       0x0000000C, 0x5C7C0000, 0x3508C734, 0x0000322C};
  for (const uint32_t Long : std::vector<uint32_t>{2, static_cast<uint32_t>(Image.size())}) {
    Encoder.EncodeLong(Long, false);
    Rom.Exchange(Encoder.Flush());
  }
  for (const uint32_t Long : Image) Encoder.EncodeLong(Long, false);
  Rom.Exchange(Encoder.Flush());
  std::vector<double> Times;
  double From = Rom.Emulated.Seconds();
  for (int Poll = 0; Poll < 20000 && Times.size() < 3; ++Poll) {
    if (Rom.Exchange("\xF9") != "\xFE") continue;
    Times.push_back(Rom.Emulated.Seconds() - From);
    From = Rom.Emulated.Seconds();
  }
  return Times;
}

double Seconds(qkl::sim::Duration Span) { return std::chrono::duration<double>(Span).count(); }

// The model's working times against the ROM's at the ends of the RC clock's range (12 MHz is
// where the model's figures were measured).
TEST_F(RomHandshakeTiming, TheModelsVerdictsComeAsLateAsTheRomsAtEachEndOfTheClockRange) {
#ifdef QKL_SANITIZED_BUILD
  GTEST_SKIP() << "twelve seconds of chip time take as long here; the default build runs this test";
#endif
  for (const double Mhz : {8.0, 20.0}) {
    qkl::sim::ChipSettings Settings;
    Settings.clockHz = Mhz * 1e6;
    const qkl::sim::BootTiming Model = qkl::sim::BootTiming::For(Settings);
    const std::vector<double> Rom = VerdictTimesAt(Mhz);
    ASSERT_EQ(Rom.size(), 3u) << Mhz << " MHz";
    std::cout << "ROM at " << Mhz << " MHz: RAM checksum " << Rom[0] << " s, programming " << Rom[1]
              << " s, verifying " << Rom[2] << " s after the previous step\n";
    EXPECT_NEAR(Rom[0], Seconds(Model.ramVerdict), 0.1 * Seconds(Model.ramVerdict))
        << Mhz << " MHz, RAM checksum";
    EXPECT_NEAR(Rom[1], Seconds(Model.programming), 0.1 * Seconds(Model.programming))
        << Mhz << " MHz, programming";
    EXPECT_NEAR(Rom[2], Seconds(Model.verifying), 0.1 * Seconds(Model.verifying))
        << Mhz << " MHz, verifying";
  }
}

}  // namespace
}  // namespace qkl::cog::testing
