// The boot loader model driven byte by byte, with a clock the test moves.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "sim/BootLoader.h"
#include "tests/support/HostBits.h"

namespace qkl::sim::testing {
namespace {

using namespace std::chrono_literals;
using simtest::HandshakePacket;
using simtest::HandshakePacketFor;
using simtest::LongBytes;
using simtest::ReplyBits;
using simtest::ShiftRegisterBits;

class RecordingRunner : public ImageRunner {
 public:
  void Launch(const HubRam& ram) override {
    ++launches;
    loaded = ram.Bytes();
  }
  std::string LineInput(std::string_view bytes, uint32_t, TimePoint) override {
    received += bytes;
    return "ok";
  }
  void Halt() override { ++halts; }
  int launches = 0;
  int halts = 0;
  HubBytes loaded{};
  std::string received;
};

std::string ImageBytes(const std::vector<uint8_t>& image) {
  std::string bytes;
  for (std::size_t at = 0; at < image.size(); at += 4)
    bytes += LongBytes(image[at] | image[at + 1] << 8 | image[at + 2] << 16 |
                       static_cast<uint32_t>(image[at + 3]) << 24);
  return bytes;
}

class Boot : public ::testing::Test {
 protected:
  void Start() {
    loader_ = std::make_unique<BootLoader>(
        settings_, eeprom_, [this](const std::string& line) { lines_.push_back(line); }, &runner_);
    loader_->Reset(now_);
  }
  std::string Send(const std::string& bytes, uint32_t baud = 115200) {
    return loader_->HostBytes(bytes, baud, now_);
  }
  // As the chip's thread does, this wakes just after each time limit that ends on the way.
  void Wait(Duration span) {
    const TimePoint until = now_ + span;
    for (auto deadline = loader_->NextDeadline(); deadline && *deadline < until;
         deadline = loader_->NextDeadline()) {
      now_ = std::max(now_, *deadline + 1us);
      loader_->AdvanceTo(now_);
    }
    now_ = until;
    loader_->AdvanceTo(now_);
  }
  bool Logged(const std::string& part) const {
    for (const std::string& line : lines_)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }
  std::string Handshake() {
    Wait(95ms);
    return Send(HandshakePacket());
  }
  void Download(uint32_t mode, const std::vector<uint8_t>& image) {
    Send(LongBytes(mode));
    Send(LongBytes(static_cast<uint32_t>(image.size() / 4)));
    Send(ImageBytes(image));
  }
  // Polls every 50 ms, as the host does, until a byte comes back.
  std::optional<uint8_t> Poll(int maxPolls = 100) {
    for (int count = 0; count < maxPolls; ++count) {
      const std::string reply = Send("\xF9");
      if (!reply.empty()) return static_cast<uint8_t>(reply[0]);
      Wait(50ms);
    }
    return std::nullopt;
  }

  ChipSettings settings_;
  EepromStore eeprom_{""};
  RecordingRunner runner_;
  std::vector<std::string> lines_;
  std::unique_ptr<BootLoader> loader_;
  TimePoint now_ = TimePoint{} + 1h;
};

std::vector<int> VersionBits(uint8_t version) {
  std::vector<int> bits;
  for (int index = 0; index < 8; ++index) bits.push_back((version >> index) & 1);
  return bits;
}

TEST_F(Boot, HandshakeAnswersTheNext250BitsThenTheVersion) {
  Start();
  const std::vector<int> bits = ReplyBits(Handshake());
  ASSERT_EQ(bits.size(), 258u);
  EXPECT_EQ(std::vector<int>(bits.begin(), bits.begin() + 250), ShiftRegisterBits(251, 500));
  EXPECT_EQ(std::vector<int>(bits.begin() + 250, bits.end()), VersionBits(1));
  EXPECT_TRUE(Logged("handshake answered, version 1"));
}

TEST_F(Boot, VersionByteComesFromTheSettings) {
  settings_.version = 0xA5;
  Start();
  const std::vector<int> bits = ReplyBits(Handshake());
  EXPECT_EQ(std::vector<int>(bits.begin() + 250, bits.end()), VersionBits(0xA5));
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
  std::vector<int> bits = ShiftRegisterBits(1, 250);
  bits[16] ^= 1;
  Wait(95ms);
  EXPECT_EQ(Send(HandshakePacketFor(bits)), "");
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
  std::string packet = HandshakePacket();
  packet[10] = '\xFC';
  Wait(95ms);
  EXPECT_EQ(Send(packet), "");
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
  settings_.clockHz = 8e6;
  Start();
  Wait(360ms);
  EXPECT_EQ(Send(HandshakePacket()).size(), 258u);
}

TEST_F(Boot, RamDownloadIsAnsweredOnThePollAfterTheSyncPoll) {
  settings_.instant = true;
  Start();
  Handshake();
  const std::vector<uint8_t> image = simtest::TinyImage(5);
  Download(1, image);
  EXPECT_EQ(Send("\xF9"), "");
  EXPECT_EQ(Send("\xF9"), "\xFE");
  EXPECT_TRUE(Logged("mode 1"));
  EXPECT_TRUE(Logged("long count 9"));
  EXPECT_TRUE(Logged("image longs received 9, RAM byte sum 0x00"));
  EXPECT_TRUE(Logged("verdict RAM checksum pass"));
  ASSERT_EQ(runner_.launches, 1);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), runner_.loaded.begin()));
  EXPECT_EQ(runner_.loaded[image.size() + 2], 0xF9);
  EXPECT_EQ(Send("AB"), "ok");
  EXPECT_EQ(runner_.received, "AB");
}

TEST_F(Boot, WrongChecksumFailsTheRamVerdictAndShutsDown) {
  settings_.instant = true;
  Start();
  Handshake();
  std::vector<uint8_t> image = simtest::TinyImage(5);
  ++image[20];
  Download(3, image);
  EXPECT_EQ(Poll(), 0xFF);
  EXPECT_TRUE(Logged("RAM checksum failed: shuts down"));
  EXPECT_EQ(Poll(5), std::nullopt);
  EXPECT_EQ(runner_.launches, 0);
  EXPECT_EQ(eeprom_.ReadBack()[0], 0xFF);
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
  const std::vector<uint8_t> image = simtest::TinyImage(5);
  Download(3, image);
  EXPECT_EQ(Poll(), 0xFE);
  const TimePoint programmingStarts = now_;
  EXPECT_EQ(Poll(), 0xFE);
  // 17.6 s of work at 1 MHz on the 12 MHz clock, and 512 write cycles of 5 ms.
  EXPECT_GE(now_ - programmingStarts, 4027ms);
  EXPECT_LT(now_ - programmingStarts, 4167ms);
  const TimePoint verifyStarts = now_;
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_GE(now_ - verifyStarts, 1320ms);
  EXPECT_LT(now_ - verifyStarts, 1450ms);
  // The program starts once the oscillator's 400000 clocks are over.
  Wait(33ms);
  EXPECT_EQ(runner_.launches, 0);
  Wait(1ms);
  EXPECT_EQ(runner_.launches, 1);
  EXPECT_EQ(eeprom_.ReadBack(), runner_.loaded);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom_.ReadBack().begin()));
}

TEST_F(Boot, ModeTwoShutsDownAfterVerifying) {
  settings_.instant = true;
  Start();
  Handshake();
  Download(2, simtest::TinyImage(3));
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_TRUE(Logged("EEPROM written in mode 2: shuts down"));
  EXPECT_EQ(runner_.launches, 0);
  EXPECT_EQ(eeprom_.ReadBack()[6], 0x10);
}

TEST_F(Boot, CommandsZeroAndFourShutDown) {
  for (uint32_t mode : {0u, 4u}) {
    Start();
    Handshake();
    Send(LongBytes(mode));
    EXPECT_TRUE(Logged("command " + std::to_string(mode) + ": shuts down"));
    EXPECT_EQ(Send(LongBytes(0) + std::string(4, '\xF9')), "");
  }
}

TEST_F(Boot, EmptyImageStillGetsItsRamVerdict) {
  settings_.instant = true;
  Start();
  Handshake();
  Send(LongBytes(1) + LongBytes(0));
  // All RAM zero, both markers fall outside RAM (dbase 0): the sum is 0, but pbase is not 0x0010.
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_TRUE(Logged("pbase is 0x0000, not 0x0010: shuts down"));
}

TEST_F(Boot, PauseWithinTheImageBootsFromEeprom) {
  settings_.instant = true;
  Start();
  Handshake();
  Send(LongBytes(1) + LongBytes(9));
  const std::string image = ImageBytes(simtest::TinyImage(5));
  Send(image.substr(0, 32 * 4));
  Wait(170ms);
  Send(image.substr(32 * 4));
  EXPECT_TRUE(Logged("time limit passed while waiting for the host: boots from EEPROM"));
  EXPECT_EQ(Poll(3), std::nullopt);
}

TEST_F(Boot, PauseWhileAnsweringShutsDown) {
  Start();
  Wait(95ms);
  const std::string packet = HandshakePacket();
  EXPECT_EQ(Send(packet.substr(0, 251 + 100)).size(), 100u);
  Wait(170ms);
  EXPECT_EQ(Send(packet.substr(251 + 100)), "");
  EXPECT_TRUE(Logged("time limit passed while waiting to answer: shuts down"));
}

TEST_F(Boot, VerdictNotFetchedInTimeShutsDown) {
  settings_.instant = true;
  Start();
  Handshake();
  Download(1, simtest::TinyImage(2));
  Wait(170ms);
  EXPECT_TRUE(Logged("time limit passed while waiting to answer: shuts down"));
  EXPECT_EQ(Poll(3), std::nullopt);
}

TEST_F(Boot, TimeLimitRestartsAtTheSyncPoll) {
  settings_.instant = true;
  Start();
  Handshake();
  Download(1, simtest::TinyImage(2));
  Wait(150ms);
  EXPECT_EQ(Send("\xF9"), "");
  Wait(150ms);
  EXPECT_EQ(Send("\xF9"), "\xFE");
}

TEST_F(Boot, ResetHaltsTheProgramAndStartsTheLoaderAgain) {
  settings_.instant = true;
  Start();
  Handshake();
  Download(1, simtest::TinyImage(2));
  ASSERT_EQ(Poll(), 0xFE);
  loader_->Reset(now_);
  EXPECT_EQ(runner_.halts, 1);
  EXPECT_EQ(Handshake().size(), 258u);
}

TEST_F(Boot, WithoutAHostTheChipBootsTheEepromImage) {
  const std::vector<uint8_t> image = simtest::TinyImage(4);
  HubBytes contents{};
  std::copy(image.begin(), image.end(), contents.begin());
  ASSERT_TRUE(eeprom_.Program(contents));
  Start();
  Wait(300ms);
  ASSERT_EQ(runner_.launches, 1);
  EXPECT_EQ(runner_.loaded, contents);
}

TEST_F(Boot, BlankEepromIsNoProgram) {
  Start();
  Wait(300ms);
  EXPECT_TRUE(Logged("pbase is 0xFFFF, not 0x0010: shuts down"));
  EXPECT_EQ(runner_.launches, 0);
}

TEST_F(Boot, FaultWrongAnswerInvertsOneBit) {
  settings_.faults.wrongAnswerAt = 17;
  Start();
  std::vector<int> expected = ShiftRegisterBits(251, 500);
  expected[16] ^= 1;
  const std::vector<int> bits = ReplyBits(Handshake());
  EXPECT_EQ(std::vector<int>(bits.begin(), bits.begin() + 250), expected);
}

TEST_F(Boot, FaultGarbageReplacesAnswers) {
  settings_.faults.garbageFrom = 5;
  Start();
  const std::string replies = Handshake();
  ASSERT_EQ(replies.size(), 258u);
  EXPECT_EQ(ReplyBits(replies.substr(0, 4)), ShiftRegisterBits(251, 254));
  EXPECT_EQ(replies.substr(4), std::string(254, static_cast<char>(kGarbageByte)));
}

TEST_F(Boot, FaultStopAfterBytes) {
  settings_.faults.stopAfterBytes = 100;
  Start();
  EXPECT_EQ(Handshake().size(), 100u);
}

TEST_F(Boot, FaultFailRamAnswersFailureForAGoodImage) {
  settings_.instant = true;
  settings_.faults.failRam = true;
  Start();
  Handshake();
  Download(1, simtest::TinyImage(2));
  EXPECT_EQ(Poll(), 0xFF);
}

TEST_F(Boot, FaultFailProgramLeavesTheEepromUntouched) {
  settings_.instant = true;
  settings_.faults.failProgram = true;
  Start();
  Handshake();
  Download(3, simtest::TinyImage(2));
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFF);
  EXPECT_EQ(eeprom_.ReadBack()[6], 0xFF);
}

TEST_F(Boot, FaultFailVerifyAfterAWrittenEeprom) {
  settings_.instant = true;
  settings_.faults.failVerify = true;
  Start();
  Handshake();
  Download(3, simtest::TinyImage(2));
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), 0xFF);
  EXPECT_EQ(eeprom_.ReadBack()[6], 0x10);
  EXPECT_EQ(runner_.launches, 0);
}

TEST_F(Boot, FaultSilentAfterTheFirstVerdict) {
  settings_.instant = true;
  settings_.faults.silentAfterVerdict = 1;
  Start();
  Handshake();
  Download(2, simtest::TinyImage(2));
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Poll(), std::nullopt);
  EXPECT_TRUE(Logged("verdict EEPROM programming pass (not sent)"));
  EXPECT_TRUE(Logged("verdict EEPROM verify pass (not sent)"));
}

TEST_F(Boot, FaultNoiseWhileBusy) {
  settings_.faults.noiseWhileBusy = 2;
  Start();
  Handshake();
  Download(3, simtest::TinyImage(2));
  EXPECT_EQ(Send("\xF9"), "");  // the RAM verdict is not noisy
  EXPECT_EQ(Poll(), 0xFE);
  EXPECT_EQ(Send("\xF9"), std::string(1, static_cast<char>(kGarbageByte)));
  Wait(4037ms);
  EXPECT_EQ(Send("\xF9"), "");
  EXPECT_EQ(Send("\xF9"), "\xFE");
}

// A host that polls only after the chip's working time (late, on a busy machine) meets the noise
// on its first poll all the same.
TEST_F(Boot, FaultNoiseMeetsALateHost) {
  settings_.faults.noiseWhileBusy = 1;
  Start();
  Handshake();
  Download(1, simtest::TinyImage(2));
  Wait(150ms);  // the RAM sum takes 100 ms; the chip waits for polls after it
  EXPECT_EQ(Send("\xF9"), std::string(1, static_cast<char>(kGarbageByte)));
}

}  // namespace
}  // namespace qkl::sim::testing
