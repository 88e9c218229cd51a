// The boot loader model driven byte by byte, with a clock the test moves.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "sim/BootLoader.h"
#include "tests/support/HostBits.h"

namespace {

using namespace std::chrono_literals;
using simtest::HandshakePacket;
using simtest::HandshakePacketFor;
using simtest::LongBytes;
using simtest::ReplyBits;
using simtest::ShiftRegisterBits;

class RecordingRunner : public sim::ImageRunner {
public:
  void Launch(const sim::HubRam& Ram) override {
    ++Launches;
    Loaded = Ram.Bytes();
  }
  std::string LineInput(std::string_view Bytes, uint32_t, sim::TimePoint) override {
    Received += Bytes;
    return "ok";
  }
  void Halt() override { ++Halts; }
  int Launches = 0;
  int Halts = 0;
  sim::HubBytes Loaded{};
  std::string Received;
};

std::string ImageBytes(const std::vector<uint8_t>& Image) {
  std::string Bytes;
  for (std::size_t At = 0; At < Image.size(); At += 4)
    Bytes += LongBytes(Image[At] | Image[At + 1] << 8 | Image[At + 2] << 16 |
                       static_cast<uint32_t>(Image[At + 3]) << 24);
  return Bytes;
}

class Boot : public ::testing::Test {
protected:
  void Start() {
    Loader = std::make_unique<sim::BootLoader>(
        Settings, Eeprom, [this](const std::string& Line) { Lines.push_back(Line); }, &Runner);
    Loader->Reset(Now);
  }
  std::string Send(const std::string& Bytes, uint32_t Baud = 115200) {
    return Loader->HostBytes(Bytes, Baud, Now);
  }
  void Wait(sim::Duration Span) {
    Now += Span;
    Loader->AdvanceTo(Now);
  }
  bool Logged(const std::string& Part) const {
    for (const std::string& Line : Lines)
      if (Line.find(Part) != std::string::npos) return true;
    return false;
  }
  std::string Handshake() {
    Wait(95ms);
    return Send(HandshakePacket());
  }
  void Download(uint32_t Mode, const std::vector<uint8_t>& Image) {
    Send(LongBytes(Mode));
    Send(LongBytes(static_cast<uint32_t>(Image.size() / 4)));
    Send(ImageBytes(Image));
  }
  // Polls every 50 ms, as the host does, until a byte comes back.
  std::optional<uint8_t> Poll(int MaxPolls = 100) {
    for (int Count = 0; Count < MaxPolls; ++Count) {
      const std::string Reply = Send("\xF9");
      if (!Reply.empty()) return static_cast<uint8_t>(Reply[0]);
      Wait(50ms);
    }
    return std::nullopt;
  }

  sim::ChipSettings Settings;
  sim::EepromStore Eeprom{""};
  RecordingRunner Runner;
  std::vector<std::string> Lines;
  std::unique_ptr<sim::BootLoader> Loader;
  sim::TimePoint Now = sim::TimePoint{} + 1h;
};

std::vector<int> VersionBits(uint8_t Version) {
  std::vector<int> Bits;
  for (int Index = 0; Index < 8; ++Index) Bits.push_back((Version >> Index) & 1);
  return Bits;
}

TEST_F(Boot, HandshakeAnswersTheNext250BitsThenTheVersion) {
  Start();
  const std::vector<int> Bits = ReplyBits(Handshake());
  ASSERT_EQ(Bits.size(), 258u);
  EXPECT_EQ(std::vector<int>(Bits.begin(), Bits.begin() + 250), ShiftRegisterBits(251, 500));
  EXPECT_EQ(std::vector<int>(Bits.begin() + 250, Bits.end()), VersionBits(1));
  EXPECT_TRUE(Logged("handshake answered, version 1"));
}

TEST_F(Boot, VersionByteComesFromTheSettings) {
  Settings.Version = 0xA5;
  Start();
  const std::vector<int> Bits = ReplyBits(Handshake());
  EXPECT_EQ(std::vector<int>(Bits.begin() + 250, Bits.end()), VersionBits(0xA5));
}

TEST_F(Boot, AtTheHigherRateToo) {
  Start();
  Wait(95ms);
  EXPECT_EQ(Send(HandshakePacket(), 230400).size(), 258u);
  EXPECT_TRUE(Logged("link rate 230400 baud"));
}

TEST_F(Boot, OtherLinkRatesBreakTheExchange) {
  Start();
  Wait(95ms);
  EXPECT_EQ(Send(HandshakePacket(), 57600), "");
  EXPECT_TRUE(Logged("link rate 57600 is not 115200 or 230400"));
}

TEST_F(Boot, WrongHostBitBootsFromEeprom) {
  Start();
  std::vector<int> Bits = ShiftRegisterBits(1, 250);
  Bits[16] ^= 1;
  Wait(95ms);
  EXPECT_EQ(Send(HandshakePacketFor(Bits)), "");
  EXPECT_TRUE(Logged("handshake bit 17 does not match: boots from EEPROM"));
}

TEST_F(Boot, CalibrationMustBeAnF9) {
  Start();
  Wait(95ms);
  EXPECT_EQ(Send(std::string(1, '\xFE').append(HandshakePacket())), "");
  EXPECT_TRUE(Logged("calibration pulse 1 is 2 bit times"));
}

TEST_F(Boot, PulseOfThreeBitTimesBreaksTheExchange) {
  Start();
  std::string Packet = HandshakePacket();
  Packet[10] = '\xFC';
  Wait(95ms);
  EXPECT_EQ(Send(Packet), "");
  EXPECT_TRUE(Logged("low pulse of 3 bit times"));
}

TEST_F(Boot, HostWindowAfterResetIs250MillisecondsAt12MHz) {
  Start();
  Wait(240ms);
  EXPECT_FALSE(Logged("time limit"));
  Wait(20ms);
  EXPECT_TRUE(Logged("time limit passed while waiting for the host: boots from EEPROM"));
  EXPECT_EQ(Send(HandshakePacket()), "");
}

TEST_F(Boot, SlowerClockWidensTheWindow) {
  Settings.ClockHz = 8e6;
  Start();
  Wait(360ms);
  EXPECT_EQ(Send(HandshakePacket()).size(), 258u);
}

TEST_F(Boot, RamDownloadIsAnsweredOnThePollAfterTheSyncPoll) {
  Settings.Instant = true;
  Start();
  Handshake();
  const std::vector<uint8_t> Image = simtest::TinyImage(5);
  Download(1, Image);
  EXPECT_EQ(Send("\xF9"), "");
  EXPECT_EQ(Send("\xF9"), "\xFE");
  EXPECT_TRUE(Logged("mode 1"));
  EXPECT_TRUE(Logged("long count 9"));
  EXPECT_TRUE(Logged("image longs received 9, RAM byte sum 0x00"));
  EXPECT_TRUE(Logged("verdict RAM checksum pass"));
  ASSERT_EQ(Runner.Launches, 1);
  EXPECT_TRUE(std::equal(Image.begin(), Image.end(), Runner.Loaded.begin()));
  EXPECT_EQ(Runner.Loaded[Image.size() + 2], 0xF9);
  EXPECT_EQ(Send("AB"), "ok");
  EXPECT_EQ(Runner.Received, "AB");
}

TEST_F(Boot, WrongChecksumFailsTheRamVerdictAndShutsDown) {
  Settings.Instant = true;
  Start();
  Handshake();
  std::vector<uint8_t> Image = simtest::TinyImage(5);
  ++Image[20];
  Download(3, Image);
  EXPECT_EQ(Poll(), 0xFF);
  EXPECT_TRUE(Logged("RAM checksum failed: shuts down"));
  EXPECT_EQ(Poll(5), std::nullopt);
  EXPECT_EQ(Runner.Launches, 0);
  EXPECT_EQ(Eeprom.ReadBack()[0], 0xFF);
}

TEST_F(Boot, PollsBeforeTheRamVerdictIsReadyGetNoAnswer) {
  Start();
  Handshake();
  Download(1, simtest::TinyImage(5));
  EXPECT_EQ(Send("\xF9"), "");
  Wait(90ms);
  EXPECT_EQ(Send("\xF9"), "");
  Wait(20ms);
  EXPECT_EQ(Send("\xF9"), "");  // ready now: this poll's long pulse is the sync
  EXPECT_EQ(Send("\xF9"), "\xFE");
}

TEST_F(Boot, EepromIsProgrammedAndVerifiedInRealisticTime) {
  Start();
  Handshake();
  const std::vector<uint8_t> Image = simtest::TinyImage(5);
  Download(3, Image);
  EXPECT_EQ(Poll(), 0xFE);
  const sim::TimePoint ProgrammingStarts = Now;
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_GE(Now - ProgrammingStarts, 3960ms);
  EXPECT_LT(Now - ProgrammingStarts, 4100ms);
  const sim::TimePoint VerifyStarts = Now;
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_GE(Now - VerifyStarts, 1320ms);
  EXPECT_LT(Now - VerifyStarts, 1450ms);
  EXPECT_EQ(Eeprom.ReadBack(), Runner.Loaded);
  EXPECT_TRUE(std::equal(Image.begin(), Image.end(), Eeprom.ReadBack().begin()));
  EXPECT_EQ(Runner.Launches, 1);
}

TEST_F(Boot, ModeTwoShutsDownAfterVerifying) {
  Settings.Instant = true;
  Start();
  Handshake();
  Download(2, simtest::TinyImage(3));
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_TRUE(Logged("EEPROM written in mode 2: shuts down"));
  EXPECT_EQ(Runner.Launches, 0);
  EXPECT_EQ(Eeprom.ReadBack()[6], 0x10);
}

TEST_F(Boot, CommandsZeroAndFourShutDown) {
  for (uint32_t Mode : {0u, 4u}) {
    Start();
    Handshake();
    Send(LongBytes(Mode));
    EXPECT_TRUE(Logged("command " + std::to_string(Mode) + ": shuts down"));
    EXPECT_EQ(Send(LongBytes(0) + std::string(4, '\xF9')), "");
  }
}

TEST_F(Boot, EmptyImageStillGetsItsRamVerdict) {
  Settings.Instant = true;
  Start();
  Handshake();
  Send(LongBytes(1) + LongBytes(0));
  // All RAM zero, both markers fall outside RAM (dbase 0): the sum is 0, but pbase is not 0x0010.
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_TRUE(Logged("pbase is 0x0000, not 0x0010: shuts down"));
}

TEST_F(Boot, PauseWithinTheImageBootsFromEeprom) {
  Settings.Instant = true;
  Start();
  Handshake();
  Send(LongBytes(1) + LongBytes(9));
  const std::string Image = ImageBytes(simtest::TinyImage(5));
  Send(Image.substr(0, 32 * 4));
  Wait(170ms);
  Send(Image.substr(32 * 4));
  EXPECT_TRUE(Logged("time limit passed while waiting for the host: boots from EEPROM"));
  EXPECT_EQ(Poll(3), std::nullopt);
}

TEST_F(Boot, PauseWhileAnsweringShutsDown) {
  Start();
  Wait(95ms);
  const std::string Packet = HandshakePacket();
  EXPECT_EQ(Send(Packet.substr(0, 251 + 100)).size(), 100u);
  Wait(170ms);
  EXPECT_EQ(Send(Packet.substr(251 + 100)), "");
  EXPECT_TRUE(Logged("time limit passed while waiting to answer: shuts down"));
}

TEST_F(Boot, VerdictNotFetchedInTimeShutsDown) {
  Settings.Instant = true;
  Start();
  Handshake();
  Download(1, simtest::TinyImage(2));
  Wait(170ms);
  EXPECT_TRUE(Logged("time limit passed while waiting to answer: shuts down"));
  EXPECT_EQ(Poll(3), std::nullopt);
}

TEST_F(Boot, TimeLimitRestartsAtTheSyncPoll) {
  Settings.Instant = true;
  Start();
  Handshake();
  Download(1, simtest::TinyImage(2));
  Wait(150ms);
  EXPECT_EQ(Send("\xF9"), "");
  Wait(150ms);
  EXPECT_EQ(Send("\xF9"), "\xFE");
}

TEST_F(Boot, ResetHaltsTheProgramAndStartsTheLoaderAgain) {
  Settings.Instant = true;
  Start();
  Handshake();
  Download(1, simtest::TinyImage(2));
  ASSERT_EQ(Poll(), 0xFE);
  Loader->Reset(Now);
  EXPECT_EQ(Runner.Halts, 1);
  EXPECT_EQ(Handshake().size(), 258u);
}

TEST_F(Boot, WithoutAHostTheChipBootsTheEepromImage) {
  const std::vector<uint8_t> Image = simtest::TinyImage(4);
  sim::HubBytes Contents{};
  std::copy(Image.begin(), Image.end(), Contents.begin());
  ASSERT_TRUE(Eeprom.Program(Contents));
  Start();
  Wait(300ms);
  ASSERT_EQ(Runner.Launches, 1);
  EXPECT_EQ(Runner.Loaded, Contents);
}

TEST_F(Boot, BlankEepromIsNoProgram) {
  Start();
  Wait(300ms);
  EXPECT_TRUE(Logged("pbase is 0xFFFF, not 0x0010: shuts down"));
  EXPECT_EQ(Runner.Launches, 0);
}

TEST_F(Boot, FaultWrongAnswerInvertsOneBit) {
  Settings.Faults.WrongAnswerAt = 17;
  Start();
  std::vector<int> Expected = ShiftRegisterBits(251, 500);
  Expected[16] ^= 1;
  const std::vector<int> Bits = ReplyBits(Handshake());
  EXPECT_EQ(std::vector<int>(Bits.begin(), Bits.begin() + 250), Expected);
}

TEST_F(Boot, FaultGarbageReplacesAnswers) {
  Settings.Faults.GarbageFrom = 5;
  Start();
  const std::string Replies = Handshake();
  ASSERT_EQ(Replies.size(), 258u);
  EXPECT_EQ(ReplyBits(Replies.substr(0, 4)), ShiftRegisterBits(251, 254));
  EXPECT_EQ(Replies.substr(4), std::string(254, static_cast<char>(sim::GarbageByte)));
}

TEST_F(Boot, FaultStopAfterBytes) {
  Settings.Faults.StopAfterBytes = 100;
  Start();
  EXPECT_EQ(Handshake().size(), 100u);
}

TEST_F(Boot, FaultFailRamAnswersFailureForAGoodImage) {
  Settings.Instant = true;
  Settings.Faults.FailRam = true;
  Start();
  Handshake();
  Download(1, simtest::TinyImage(2));
  EXPECT_EQ(Poll(), 0xFF);
}

TEST_F(Boot, FaultFailProgramLeavesTheEepromUntouched) {
  Settings.Instant = true;
  Settings.Faults.FailProgram = true;
  Start();
  Handshake();
  Download(3, simtest::TinyImage(2));
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFF);
  EXPECT_EQ(Eeprom.ReadBack()[6], 0xFF);
}

TEST_F(Boot, FaultFailVerifyAfterAWrittenEeprom) {
  Settings.Instant = true;
  Settings.Faults.FailVerify = true;
  Start();
  Handshake();
  Download(3, simtest::TinyImage(2));
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFF);
  EXPECT_EQ(Eeprom.ReadBack()[6], 0x10);
  EXPECT_EQ(Runner.Launches, 0);
}

TEST_F(Boot, FaultSilentAfterTheFirstVerdict) {
  Settings.Instant = true;
  Settings.Faults.SilentAfterVerdict = 1;
  Start();
  Handshake();
  Download(2, simtest::TinyImage(2));
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), std::nullopt);
  EXPECT_TRUE(Logged("verdict EEPROM programming pass (not sent)"));
  EXPECT_TRUE(Logged("verdict EEPROM verify pass (not sent)"));
}

TEST_F(Boot, FaultNoiseWhileBusy) {
  Settings.Faults.NoiseWhileBusy = 2;
  Start();
  Handshake();
  Download(3, simtest::TinyImage(2));
  EXPECT_EQ(Send("\xF9"), "");  // the RAM verdict is not noisy
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Send("\xF9"), std::string(1, static_cast<char>(sim::GarbageByte)));
  Wait(3970ms);
  EXPECT_EQ(Send("\xF9"), "");
  EXPECT_EQ(Send("\xF9"), "\xFE");
}

}  // namespace
