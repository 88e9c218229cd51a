#include <gtest/gtest.h>

#include <random>

#include "ScriptedPeer.h"
#include "link/Propeller.h"

namespace {
// Polls answered with something other than a verdict bit.
constexpr uint8_t Garbage = 0x55;

class LoadImage : public testing::Test {
protected:
  TScriptedPeer Peer;
  TPropeller Link;
  std::vector<uint32_t> Download;
  std::vector<std::string> Statuses;
  int Progress = 0;

  void SetUp() override {
    Link.StatusHook = [this](const std::string& Text) { Statuses.push_back(Text); };
    Link.ProgressHook = [this] { ++Progress; };
    Link.LastError = "earlier";
  }

  void FillImage(uint32_t Longs) {
    std::mt19937 Random(Longs);
    for (uint32_t Index = 0; Index < Longs; ++Index) Link.SetImageLong(Index, static_cast<uint32_t>(Random()));
    Link.LongCount = Longs;
  }

  // The chip: detection, the download, then one reply per poll as listed (0 leaves a poll
  // unanswered), and no byte after the last.
  void PlayChip(std::vector<uint8_t> Replies) {
    Peer.Start([this, Replies](TScriptedPeer& P) {
      P.TakeHandshake(true);
      P.AnswerHandshake(1);
      Download = P.TakeDownload();
      for (const uint8_t Reply : Replies) Reply ? P.AnswerPoll(Reply) : P.IgnorePoll();
      P.ExpectQuiet(150);
    });
    ASSERT_EQ(Link.FindPropeller(Peer.PortName()), 1);
  }

  void ExpectDownloadOf(uint32_t Mode) {
    ASSERT_EQ(Download.size(), Link.LongCount + 2);
    EXPECT_EQ(Download[0], Mode);
    EXPECT_EQ(Download[1], Link.LongCount);
    for (uint32_t Index = 0; Index < Link.LongCount; ++Index) {
      ASSERT_EQ(Download[Index + 2], Link.ImageLong(Index)) << "long " << Index;
    }
  }
};

class LoadImageAtBothRates : public LoadImage, public testing::WithParamInterface<uint32_t> {};
}  // namespace

TEST_P(LoadImageAtBothRates, RamLoadSendsEveryLongAndPassesOnTheFirstVerdict) {
  Link.BaudRate = GetParam();
  FillImage(2000);
  PlayChip({0xFE});
  EXPECT_TRUE(Link.LoadImage(1));
  EXPECT_EQ(Peer.Finish(), "");
  ExpectDownloadOf(1);
  EXPECT_EQ(Statuses, (std::vector<std::string>{"Loading RAM 2000 Longs", "RAM Verify"}));
  // One progress call per chunk of a little over 512 bytes (2000 longs take at least
  // 14000 bytes), one per poll.
  EXPECT_GE(Progress, 1 + 14000 / 600);
  EXPECT_EQ(Link.LastError, "earlier");
  EXPECT_TRUE(Link.Serial->Active);
}

TEST_P(LoadImageAtBothRates, ModeAndCountLongsGoOutAsLoneLongs) {
  Link.BaudRate = GetParam();
  FillImage(100);
  PlayChip({0xFE, 0xFE, 0xFE});
  EXPECT_TRUE(Link.LoadImage(3));
  EXPECT_EQ(Peer.Finish(), "");
  ExpectDownloadOf(3);
  const std::string Sent = Peer.Received.substr(328);
  EXPECT_EQ(Sent.substr(0, 11), "\x25" + std::string(9, '\x92') + "\xFE");
  EXPECT_EQ(Sent.substr(11, 11), "\xD2\x52" + std::string(8, '\x92') + "\xFE");
}

INSTANTIATE_TEST_SUITE_P(Rates, LoadImageAtBothRates, testing::Values(115200u, 230400u));

TEST_F(LoadImage, EepromModesWaitForAllThreeVerdicts) {
  for (const uint8_t Mode : {2, 3}) {
    TScriptedPeer Chip;
    Statuses.clear();
    FillImage(50);
    Chip.Start([this](TScriptedPeer& P) {
      P.TakeHandshake(true);
      P.AnswerHandshake(1);
      Download = P.TakeDownload();
      for (int Verdict = 0; Verdict < 3; ++Verdict) P.AnswerPoll(0xFE);
    });
    ASSERT_EQ(Link.FindPropeller(Chip.PortName()), 1);
    EXPECT_TRUE(Link.LoadImage(Mode));
    EXPECT_EQ(Chip.Finish(), "");
    ExpectDownloadOf(Mode);
    EXPECT_EQ(Statuses, (std::vector<std::string>{"Loading RAM 50 Longs", "RAM Verify", "Programing EEPROM",
                                                  "Verifying EEPROM"}));
  }
}

TEST_F(LoadImage, LongCountZeroSendsModeAndCountOnly) {
  Link.LongCount = 0;
  PlayChip({0xFE});
  EXPECT_TRUE(Link.LoadImage(1));
  EXPECT_EQ(Peer.Finish(), "");
  ExpectDownloadOf(1);
  EXPECT_EQ(Peer.Received.size(), 328u + 11 + 11 + 1);
}

TEST_F(LoadImage, UnansweredAndNonVerdictPollsAreSkipped) {
  FillImage(10);
  PlayChip({0, 0x00, Garbage, 0, 0xFE});
  EXPECT_TRUE(Link.LoadImage(1));
  EXPECT_EQ(Peer.Finish(), "");
}

TEST_F(LoadImage, VerdictFailuresNameTheirStage) {
  const std::pair<std::vector<uint8_t>, std::string> Cases[] = {
      {{0xFF}, "Ram verify error"},
      {{0xFE, 0xFF}, "EEPROM Program Error"},
      {{0xFE, 0xFE, 0xFF}, "EEPROM Verify Error"}};
  for (const auto& [Replies, Text] : Cases) {
    TScriptedPeer Chip;
    FillImage(20);
    Chip.Start([&Replies = Replies](TScriptedPeer& P) {
      P.TakeHandshake(true);
      P.AnswerHandshake(1);
      P.TakeDownload();
      for (const uint8_t Reply : Replies) P.AnswerPoll(Reply);
      P.ExpectQuiet(150);  // a failure ends the download: no later stage is polled
    });
    ASSERT_EQ(Link.FindPropeller(Chip.PortName()), 1);
    EXPECT_FALSE(Link.LoadImage(3));
    EXPECT_EQ(Link.LastError, Text);
    EXPECT_EQ(Chip.Finish(), "") << Text;
    EXPECT_TRUE(Link.Serial->Active);
  }
}

TEST_F(LoadImage, HundredPollsWithoutVerdictNeverPassAStage) {
  const std::pair<std::vector<uint8_t>, std::string> Cases[] = {
      {{}, "Communication Timeout verifying RAM"},
      {{0xFE}, "Communication Timeout writing EEPROM"},
      {{0xFE, 0xFE}, "Communication Timeout verifying EEPROM"}};
  for (const auto& [Verdicts, Text] : Cases) {
    TScriptedPeer Chip;
    FillImage(20);
    Chip.Start([&Verdicts = Verdicts](TScriptedPeer& P) {
      P.TakeHandshake(true);
      P.AnswerHandshake(1);
      P.TakeDownload();
      for (const uint8_t Reply : Verdicts) P.AnswerPoll(Reply);
      for (int Poll = 0; Poll < 100; ++Poll) P.AnswerPoll(Garbage);
      P.ExpectQuiet(150);
    });
    ASSERT_EQ(Link.FindPropeller(Chip.PortName()), 1);
    EXPECT_FALSE(Link.LoadImage(2));
    EXPECT_EQ(Link.LastError, Text);
    EXPECT_EQ(Chip.Finish(), "") << Text;
  }
}

TEST_F(LoadImage, ModesOutsideOneToThreeSendNothing) {
  Peer.Start([](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(1);
    P.ExpectQuiet(200);
  });
  ASSERT_EQ(Link.FindPropeller(Peer.PortName()), 1);
  EXPECT_FALSE(Link.LoadImage(0));
  EXPECT_FALSE(Link.LoadImage(4));
  EXPECT_EQ(Link.LastError, "earlier");
  EXPECT_EQ(Peer.Finish(), "");
}

TEST_F(LoadImage, LongCountBeyondTheBufferIsRefusedBeforeSending) {
  Peer.Start([](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(1);
    P.ExpectQuiet(200);
  });
  ASSERT_EQ(Link.FindPropeller(Peer.PortName()), 1);
  Link.LongCount = ImageLongs + 1;
  EXPECT_FALSE(Link.LoadImage(1));
  EXPECT_EQ(Link.LastError, "Image longer than 32768 bytes");
  EXPECT_EQ(Peer.Finish(), "");
}

TEST_F(LoadImage, SlowSilentChipTimesOutAfterFiveSeconds) {
  FillImage(20);
  Peer.Start([](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(1);
    P.TakeDownload();
  });
  ASSERT_EQ(Link.FindPropeller(Peer.PortName()), 1);
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Link.LoadImage(1));
  const auto Took = std::chrono::steady_clock::now() - Start;
  EXPECT_EQ(Link.LastError, "Communication Timeout verifying RAM");
  EXPECT_GE(Took, std::chrono::milliseconds(4900));
  EXPECT_LT(Took, std::chrono::seconds(30));  // it did not hang
  Peer.Finish();
}
