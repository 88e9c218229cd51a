#include <gtest/gtest.h>

#include "ScriptedPeer.h"
#include "link/LinkState.h"
#include "link/Propeller.h"

namespace {
using std::chrono::milliseconds;

class FindPropeller : public testing::Test {
protected:
  TScriptedPeer Peer;
  TPropeller Link;

  void SetUp() override { Link.LastError = "earlier"; }

  void ExpectClosed() {
    EXPECT_FALSE(Link.Serial->Active);
    EXPECT_TRUE(Link.CurrentPort.empty());
  }
};

class FindPropellerAtBothRates : public FindPropeller, public testing::WithParamInterface<uint32_t> {};

void AnswerAsChip(TScriptedPeer& Peer, uint8_t Version) {
  Peer.TakeHandshake(true);
  Peer.AnswerHandshake(Version);
}
}  // namespace

TEST_P(FindPropellerAtBothRates, FindsVersionOneAndKeepsThePortOpen) {
  Link.BaudRate = GetParam();
  Peer.Start([](TScriptedPeer& P) { AnswerAsChip(P, 1); });
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 1);
  EXPECT_EQ(Link.Version(), 1);
  EXPECT_EQ(Peer.Finish(), "");
  EXPECT_TRUE(Link.Serial->Active);
  EXPECT_EQ(Link.CurrentPort, Peer.PortName());
  EXPECT_EQ(Link.LastError, "earlier");  // a success clears nothing
  // The packet: calibration byte, the 69 bytes of the shift-register bits, 258 windows.
  ASSERT_EQ(Peer.Received.size(), 328u);
  EXPECT_EQ(Peer.Received.substr(0, 4), "\xF9\x4A\x25\xD5");
  EXPECT_EQ(Peer.Received.substr(70), std::string(258, '\xF9'));
  EXPECT_GE(std::chrono::duration_cast<milliseconds>(Peer.FirstByteAt - ResetMark).count(), 95);
}

TEST_P(FindPropellerAtBothRates, EveryDetectionResetsTheChipAgain) {
  Link.BaudRate = GetParam();
  Peer.Start([](TScriptedPeer& P) {
    AnswerAsChip(P, 1);
    AnswerAsChip(P, 2);
  });
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 1);
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 2);
  EXPECT_EQ(Peer.Finish(), "");
}

INSTANTIATE_TEST_SUITE_P(Rates, FindPropellerAtBothRates, testing::Values(115200u, 230400u));

TEST_F(FindPropeller, NoChipTimesOutAtTheFirstRead) {
  const auto Start = TLinkClock::now();
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 0);
  EXPECT_EQ(Link.LastError, "Timeout Failed at Read 1");
  // The reply wait of 200 ms and the drain of 50 ms come after the packet at 95 ms.
  EXPECT_GE(std::chrono::duration_cast<milliseconds>(TLinkClock::now() - Start).count(), 340);
  ExpectClosed();
}

TEST_F(FindPropeller, EchoingLineFailsAtTheFirstRead) {
  Peer.Start([](TScriptedPeer& P) {
    for (int Byte = 0; Byte < 328; ++Byte) P.Send(std::string(1, static_cast<char>(P.ReadByte())));
  });
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 0);
  EXPECT_EQ(Link.LastError, "Timeout Failed at Read 1");
  EXPECT_EQ(Peer.Finish(), "");
  ExpectClosed();
}

TEST_F(FindPropeller, WrongSeventeenthAnswerBitIsAMismatch) {
  Peer.Start([](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(1, 17);
  });
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 0);
  EXPECT_EQ(Link.LastError, "Mismatch Failed at Read 17");
  Peer.Finish();
  ExpectClosed();
}

TEST_F(FindPropeller, AnswerStoppingInTheMiddleNamesTheMissingRead) {
  Peer.Start([](TScriptedPeer& P) {
    P.TakeHandshake(true);
    for (int Bit = 0; Bit < 100; ++Bit) P.IgnorePoll();  // the windows come, answers do not
  });
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 0);
  EXPECT_EQ(Link.LastError, "Timeout Failed at Read 1");
  Peer.Finish();
}

TEST_F(FindPropeller, VersionZeroIsNotAChip) {
  Peer.Start([](TScriptedPeer& P) { AnswerAsChip(P, 0); });
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 0);
  EXPECT_EQ(Link.LastError, "earlier");
  EXPECT_EQ(Peer.Finish(), "");
  ExpectClosed();
}

TEST_F(FindPropeller, MissingVersionBitsLeaveLastErrorAlone) {
  Peer.Start([](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(1, 0, 3);
  });
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 0);
  EXPECT_EQ(Link.LastError, "earlier");
  EXPECT_EQ(Peer.Finish(), "");
  ExpectClosed();
}

TEST_F(FindPropeller, PortThatCannotBeOpenedSendsNothing) {
  EXPECT_EQ(Link.FindPropeller("/dev/qkl-no-such-port"), 0);
  EXPECT_EQ(Link.LastError, "Unable to open port");
  ExpectClosed();
}
