#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "ReaderScript.h"
#include "LinkTesting.h"
#include "link/Propeller.h"

namespace {
class ReaderSession : public testing::Test {
protected:
  TScriptedPeer Peer;
  std::ostringstream Out;
  TPropeller Link{Out, Hooks(), Peer.Port()};
  std::string Printed;
  std::vector<std::string> Statuses;
  std::vector<TLinkProgress> Events;

  TLinkHooks Hooks() {
    return {[this](const std::string& Text) { Statuses.push_back(Text); },
            [this](const TLinkProgress& Where) { Events.push_back(Where); }};
  }

  void SetUp() override { linktest::FillImage(Link, 0x11); }

  // Detection, then the read-back with the reader playing as told.
  bool ReadBack(const TReaderPlay& Play) {
    return ReadBackWith([Play](TScriptedPeer& P) { PlayChipWithReader(P, Play); });
  }

  // Detection, then the read-back against whatever Script plays after the boot loader's part.
  bool ReadBackWith(const TScriptedPeer::TScript& Script) {
    Peer.Start(Script);
    EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 1);
    Out.str("");
    Statuses.clear();
    Events.clear();
    const bool Result = Link.ReadFromRunningReader();
    Printed = Out.str();
    return Result;
  }

  std::string Buffer() const { return std::string(Link.Image().begin(), Link.Image().end()); }
};

std::string Dots() { return std::string(32, '.'); }
}  // namespace

TEST_F(ReaderSession, BlankEepromReadsBackWithCrc00FF) {
  EXPECT_TRUE(ReadBack({}));
  EXPECT_EQ(Peer.Finish(), "");  // also checks that 262400 clock bytes were sent
  EXPECT_EQ(Printed, "Found sync at 0\nFound loader\n" + Dots() +
                         "\nRead done\nCRC is good\nCRC is 00FF 00FF\n");
  EXPECT_EQ(Buffer(), std::string(ImageSize, '\xFF'));
  EXPECT_EQ(Link.Version(), 0xDE);
  EXPECT_TRUE(Link.PortOpen());
}

TEST_F(ReaderSession, AllZeroEepromGivesCrc40BF) {
  TReaderPlay Play;
  Play.Eeprom.assign(ImageSize, '\0');
  EXPECT_TRUE(ReadBack(Play));
  EXPECT_EQ(Peer.Finish(), "");
  EXPECT_NE(Printed.find("CRC is good\nCRC is 40BF 40BF\n"), std::string::npos);
}

TEST_F(ReaderSession, BytesLandInAddressOrderAndHooksSeeEveryKilobyte) {
  TReaderPlay Play;
  std::mt19937 Random(7);
  for (char& Byte : Play.Eeprom) Byte = static_cast<char>(Random());
  EXPECT_TRUE(ReadBack(Play));
  EXPECT_EQ(Peer.Finish(), "");
  EXPECT_EQ(Buffer(), Play.Eeprom);
  ASSERT_EQ(Statuses.size(), 32u);
  EXPECT_EQ(Statuses.front(), "0k completed");
  EXPECT_EQ(Statuses.back(), "31k completed");
  // One event at each sync poll, then one for each kilobyte read as its reading starts.
  ASSERT_EQ(Events.size(), 1 + 32u);
  EXPECT_EQ(Events[0], (TLinkProgress{TLinkStage::ReaderSync, 1, 101}));
  for (uint32_t Kilobyte = 0; Kilobyte < 32; ++Kilobyte)
    EXPECT_EQ(Events[1 + Kilobyte], (TLinkProgress{TLinkStage::EepromRead, Kilobyte, 32}));
}

TEST_F(ReaderSession, SyncAtTheThirdPollIsReportedAsTwo) {
  TReaderPlay Play;
  Play.SyncAfterPolls = 2;
  EXPECT_TRUE(ReadBack(Play));
  EXPECT_EQ(Peer.Finish(), "");
  EXPECT_EQ(Printed.substr(0, 16), "Found sync at 2\n");
}

TEST_F(ReaderSession, BogusSyncIsRecordedYetAGoodReadSucceeds) {
  TReaderPlay Play;
  Play.SyncBit = 1;
  EXPECT_TRUE(ReadBack(Play));
  EXPECT_EQ(Peer.Finish(), "");
  EXPECT_EQ(Link.LastError(), "Bogus data returned");
}

TEST_F(ReaderSession, CrcMismatchIsReportedWithBothValues) {
  TReaderPlay Play;
  Play.Crc = 0x1234;
  EXPECT_FALSE(ReadBack(Play));
  EXPECT_EQ(Peer.Finish(), "");
  EXPECT_NE(Printed.find("\nRead done\nCRC Mismatch\nCRC is 1234 00FF\n"), std::string::npos);
  EXPECT_TRUE(Link.PortOpen());
}

TEST_F(ReaderSession, LoaderVersionOtherThanDEAborts) {
  TReaderPlay Play;
  Play.Version = 0x01;
  linktest::LeaveEarlierError(Link);
  EXPECT_FALSE(ReadBack(Play));
  EXPECT_EQ(Peer.Finish(), "");
  EXPECT_EQ(Printed, "Found sync at 0\nAborted\n");
  EXPECT_EQ(Link.LastError(), linktest::EarlierError);
  EXPECT_FALSE(Link.PortOpen());
}

TEST_F(ReaderSession, AnswersStoppingAtLong100Abort) {
  TReaderPlay Play;
  Play.Eeprom.assign(ImageSize, '\x42');
  Play.StopAfterBytes = 400 + 2;  // long 100 is incomplete
  EXPECT_FALSE(ReadBack(Play));
  EXPECT_GE(Peer.VirtualLine().Now() - Peer.FirstByteAt, std::chrono::milliseconds(500));
  Peer.Finish();
  EXPECT_EQ(Printed.substr(Printed.size() - 9), ".Aborted\n");
  EXPECT_FALSE(Link.PortOpen());
  EXPECT_EQ(Buffer().substr(0, 400), std::string(400, '\x42'));
  EXPECT_EQ(Buffer().substr(400), std::string(ImageSize - 400, '\x11'));
}

TEST_F(ReaderSession, MissingHandshakeAnswerClosesWithoutAborted) {
  EXPECT_FALSE(ReadBackWith([](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(1);
    P.AnswerBit(0);  // sync, then nothing more
  }));
  EXPECT_EQ(Printed, "Found sync at 0\n");
  EXPECT_EQ(Link.LastError(), "Timeout Failed at Read 1");
  EXPECT_FALSE(Link.PortOpen());
}

TEST_F(ReaderSession, SlowReaderMissingTheSyncWindowIsRecordedAndTheReadGoesOn) {
  TReaderPlay Play;
  Play.AnswersSync = false;
  EXPECT_TRUE(ReadBack(Play));
  EXPECT_EQ(Peer.Finish(), "");
  EXPECT_EQ(Link.LastError(), "Communication Timeout waiting for prop reader to boot");
  EXPECT_EQ(Printed.substr(0, 13), "Found loader\n");
}

TEST_F(ReaderSession, SlowReaderThatNeverAnswersEndsWithTheHandshakeTimeout) {
  EXPECT_FALSE(ReadBackWith([](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(1);
  }));
  EXPECT_EQ(Printed, "");
  EXPECT_EQ(Link.LastError(), "Timeout Failed at Read 1");
  EXPECT_FALSE(Link.PortOpen());
}
