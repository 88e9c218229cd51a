#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <random>
#include <tuple>

#include "ScriptedPeer.h"
#include "LinkTesting.h"
#include "link/Propeller.h"
#include "tests/support/ParamNames.h"

namespace {
// Polls answered with something other than a verdict bit.
constexpr uint8_t NotAVerdict = 0x55;

using TScript = TScriptedPeer::TScript;

class LoadImage : public testing::Test {
protected:
  TScriptedPeer Chip;
  std::vector<std::string> Statuses;
  std::vector<TLinkProgress> Progress;
  TPropeller Link{std::cout, Hooks(), Chip.Port()};
  std::vector<uint32_t> Download;

  TLinkHooks Hooks() {
    return {[this](const std::string& Text) { Statuses.push_back(Text); },
            [this](const TLinkProgress& Where) { Progress.push_back(Where); }};
  }

  void SetUp() override { linktest::LeaveEarlierError(Link); }

  void FillImage(uint32_t Longs) {
    std::mt19937 Random(Longs);
    for (uint32_t Index = 0; Index < Longs; ++Index)
      Link.SetImageLong(Index, static_cast<uint32_t>(Random()));
    Link.SetLongCount(Longs);
  }

  // A fresh chip on a fresh line: detection, then AfterDetection plays the rest.
  void Detect(const TScript& AfterDetection) {
    Chip.Start([AfterDetection](TScriptedPeer& P) {
      P.TakeHandshake(true);
      P.AnswerHandshake(1);
      AfterDetection(P);
    });
    ASSERT_EQ(Link.FindPropeller(Chip.PortName()), 1);
  }

  // Detection, the download, then Verdicts; gives LoadImage's result.
  bool LoadWith(uint8_t Mode, const TScript& Verdicts) {
    Detect([this, Verdicts](TScriptedPeer& P) {
      Download = P.TakeDownload();
      Verdicts(P);
    });
    const bool Result = Link.LoadImage(Mode);
    EXPECT_EQ(Chip.Finish(), "");
    return Result;
  }

  // One reply per poll as listed (0 leaves a poll unanswered), and no byte after the last.
  static TScript Replies(std::vector<uint8_t> List, int Garbage = 0) {
    return [List, Garbage](TScriptedPeer& P) {
      for (const uint8_t Reply : List) Reply ? P.AnswerPoll(Reply) : P.IgnorePoll();
      for (int Poll = 0; Poll < Garbage; ++Poll) P.AnswerPoll(NotAVerdict);
      P.ExpectQuiet(150);
    };
  }

  void ExpectDownloadOf(uint32_t Mode) {
    ASSERT_EQ(Download.size(), Link.LongCount() + 2);
    EXPECT_EQ(Download[0], Mode);
    EXPECT_EQ(Download[1], Link.LongCount());
    for (uint32_t Index = 0; Index < Link.LongCount(); ++Index) {
      ASSERT_EQ(Download[Index + 2], Link.ImageLong(Index)) << "long " << Index;
    }
  }
};

class LoadImageAtBothRates : public LoadImage, public testing::WithParamInterface<uint32_t> {};
}  // namespace

TEST_P(LoadImageAtBothRates, RamLoadSendsEveryLongAndPassesOnTheFirstVerdict) {
  Link.SetBaudRate(GetParam());
  FillImage(2000);
  EXPECT_TRUE(LoadWith(1, Replies({0xFE})));
  ExpectDownloadOf(1);
  EXPECT_EQ(Statuses, (std::vector<std::string>{"Loading RAM 2000 Longs", "RAM Verify"}));
  // The download's start, then one event per chunk of a little over 512 bytes (2000 longs take
  // at least 14000 bytes) with the longs sent so far, but none after the last write; then the
  // verdict stage's start and one event per poll.
  ASSERT_GE(Progress.size(), 3 + 14000 / 600u);
  const std::size_t Downloads = Progress.size() - 2;
  for (std::size_t At = 0; At < Downloads; ++At) {
    EXPECT_EQ(Progress[At].Stage, TLinkStage::Download);
    EXPECT_EQ(Progress[At].Total, 2000u);
    EXPECT_LT(Progress[At].Done, 2000u);
    if (At > 0) {
      EXPECT_GT(Progress[At].Done, Progress[At - 1].Done);
    }
  }
  EXPECT_EQ(Progress[0].Done, 0u);
  EXPECT_EQ(Progress[Downloads], (TLinkProgress{TLinkStage::RamVerify, 0, 100}));
  EXPECT_EQ(Progress.back(), (TLinkProgress{TLinkStage::RamVerify, 1, 100}));
  EXPECT_EQ(Link.LastError(), linktest::EarlierError);
  EXPECT_TRUE(Link.PortOpen());
}

TEST_P(LoadImageAtBothRates, ModeAndCountLongsGoOutAsLoneLongs) {
  Link.SetBaudRate(GetParam());
  FillImage(100);
  EXPECT_TRUE(LoadWith(3, Replies({0xFE, 0xFE, 0xFE})));
  ExpectDownloadOf(3);
  const std::string Sent = Chip.Received.substr(328);
  EXPECT_EQ(Sent.substr(0, 11), "\x25" + std::string(9, '\x92') + "\xFE");
  EXPECT_EQ(Sent.substr(11, 11), "\xD2\x52" + std::string(8, '\x92') + "\xFE");
}

INSTANTIATE_TEST_SUITE_P(Rates, LoadImageAtBothRates, testing::Values(115200u, 230400u),
                         simtest::RateName);

TEST_F(LoadImage, EepromModesWaitForAllThreeVerdicts) {
  for (const uint8_t Mode : {2, 3}) {
    Statuses.clear();
    FillImage(50);
    EXPECT_TRUE(LoadWith(Mode, Replies({0xFE, 0xFE, 0xFE})));
    ExpectDownloadOf(Mode);
    EXPECT_EQ(Statuses, (std::vector<std::string>{"Loading RAM 50 Longs", "RAM Verify",
                                                  "Programing EEPROM", "Verifying EEPROM"}));
  }
}

TEST_F(LoadImage, LongCountZeroSendsModeAndCountOnly) {
  Link.SetLongCount(0);
  EXPECT_TRUE(LoadWith(1, Replies({0xFE})));
  ExpectDownloadOf(1);
  EXPECT_EQ(Chip.Received.size(), 328u + 11 + 11 + 1);
}

TEST_F(LoadImage, UnansweredAndNonVerdictPollsAreSkipped) {
  FillImage(10);
  EXPECT_TRUE(LoadWith(1, Replies({0, 0x00, NotAVerdict, 0, 0xFE})));
}

TEST_F(LoadImage, VerdictFailuresNameTheirStage) {
  // A failure ends the download: no later stage is polled.
  const std::pair<std::vector<uint8_t>, std::string> Cases[] = {
      {{0xFF}, "Ram verify error"},
      {{0xFE, 0xFF}, "EEPROM Program Error"},
      {{0xFE, 0xFE, 0xFF}, "EEPROM Verify Error"}};
  for (const auto& [Verdicts, Text] : Cases) {
    FillImage(20);
    EXPECT_FALSE(LoadWith(3, Replies(Verdicts)));
    EXPECT_EQ(Link.LastError(), Text);
    EXPECT_TRUE(Link.PortOpen());
  }
}

TEST_F(LoadImage, AllPollsOfAStageWithoutVerdictNeverPassIt) {
  const std::tuple<std::vector<uint8_t>, int, std::string> Cases[] = {
      {{}, 100, "Communication Timeout verifying RAM"},
      {{0xFE}, 200, "Communication Timeout writing EEPROM"},
      {{0xFE, 0xFE}, 100, "Communication Timeout verifying EEPROM"}};
  for (const auto& [Verdicts, Polls, Text] : Cases) {
    FillImage(20);
    EXPECT_FALSE(LoadWith(2, Replies(Verdicts, Polls)));
    EXPECT_EQ(Link.LastError(), Text);
  }
}

// The programming verdict may take the chip past 5 s (EEPROMs with 10 ms pages): its stage waits
// up to 10 s, the other stages 5 s.
TEST_F(LoadImage, EachVerdictStageWaitsForItsOwnLimit) {
  struct TCase {
    std::vector<uint8_t> Verdicts;  // the stages before the silent one pass at once
    int SilentMs;                   // the chip takes this long over the silent stage
    int GivesUpAfterMs;             // the host's wait for it; 0 when the verdict arrives in time
    std::string Text;
  };
  const TCase Cases[] = {
      {{0xFE}, 9000, 0, ""},
      {{0xFE}, 10500, 10000, "Communication Timeout writing EEPROM"},
      {{0xFE, 0xFE}, 5500, 5000, "Communication Timeout verifying EEPROM"},
      {{}, 5500, 5000, "Communication Timeout verifying RAM"},
  };
  for (const TCase& Case : Cases) {
    FillImage(20);
    TPortTime SilenceStart{};
    const bool Passed = LoadWith(2, [&Case, &SilenceStart](TScriptedPeer& P) {
      for (const uint8_t Reply : Case.Verdicts) P.AnswerPoll(Reply);
      SilenceStart = P.ScriptTime();
      P.IgnorePollsFor(Case.SilentMs);
      if (Case.GivesUpAfterMs == 0) Replies({0xFE, 0xFE})(P);
    });
    EXPECT_EQ(Passed, Case.GivesUpAfterMs == 0) << Case.SilentMs;
    if (Case.GivesUpAfterMs == 0) continue;
    EXPECT_EQ(Link.LastError(), Case.Text);
    const auto Waited = Chip.VirtualLine().Now() - SilenceStart;
    EXPECT_GE(Waited, std::chrono::milliseconds(Case.GivesUpAfterMs - 100)) << Case.Text;
    EXPECT_LE(Waited, std::chrono::milliseconds(Case.GivesUpAfterMs + 100)) << Case.Text;
  }
}

TEST_F(LoadImage, ModesOutsideOneToThreeAndOversizedImagesSendNothing) {
  Detect([](TScriptedPeer& P) { P.ExpectQuiet(200); });
  EXPECT_FALSE(Link.LoadImage(0));
  EXPECT_FALSE(Link.LoadImage(4));
  EXPECT_EQ(Link.LastError(), linktest::EarlierError);
  Link.SetLongCount(ImageLongs + 1);
  EXPECT_FALSE(Link.LoadImage(1));
  EXPECT_EQ(Link.LastError(), "Image longer than 32768 bytes");
  EXPECT_EQ(Chip.Finish(), "");
}

TEST_F(LoadImage, SlowSilentChipTimesOutAfterFiveSeconds) {
  FillImage(20);
  EXPECT_FALSE(LoadWith(1, [](TScriptedPeer&) {}));
  const auto Took = Chip.VirtualLine().Now() - Chip.FirstByteAt;
  EXPECT_EQ(Link.LastError(), "Communication Timeout verifying RAM");
  EXPECT_GE(Took, std::chrono::milliseconds(5000));
  EXPECT_LT(Took, std::chrono::milliseconds(5500));
}

TEST_F(LoadImage, LineThatStopsTakingBytesEndsTheDownloadAtTheFirstStuckWrite) {
  // The line takes 4 KB after the handshake and then nothing: a write waits out the port's
  // deadlock time-out. The download ends there, without polling for verdicts.
  FillImage(ImageLongs);
  Detect([](TScriptedPeer&) {});
  Chip.VirtualLine().StallAfter(4096);
  const TPortTime Start = Chip.VirtualLine().Now();
  EXPECT_FALSE(Link.LoadImage(1));
  const auto Took = Chip.VirtualLine().Now() - Start;
  EXPECT_EQ(Link.LastError(), "Catastrophic Communication Error");
  EXPECT_EQ(Statuses, (std::vector<std::string>{"Loading RAM 8192 Longs"}));
  // One write waited out the deadlock time-out.
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(Took).count(), 500);
  EXPECT_EQ(Link.LinkSession().FlushEncoder(), "");
  EXPECT_EQ(Chip.Finish(), "");
}
