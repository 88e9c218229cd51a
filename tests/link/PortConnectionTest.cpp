#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "ScriptedPeer.h"
#include "link/Propeller.h"

namespace {
using std::chrono::milliseconds;

int64_t MsBetween(TPortTime From, TPortTime To) {
  return std::chrono::duration_cast<milliseconds>(To - From).count();
}
}  // namespace

TEST(LinkObject, StartsClosedAndEmpty) {
  TPropeller Link{std::cout};
  EXPECT_EQ(Link.Version(), 0);
  EXPECT_FALSE(Link.ImageValid());
  EXPECT_EQ(Link.BaudRate(), 115200u);
  EXPECT_EQ(Link.LongCount(), 0u);
  EXPECT_FALSE(Link.PortOpen());
  EXPECT_EQ(Link.Image(), (std::array<uint8_t, ImageSize>{}));
  Link.ClosePort();  // closing a never opened port does nothing
  EXPECT_FALSE(Link.PortOpen());
}

TEST(PortConnection, MissingPortFailsWithThePortsReason) {
  TScriptedPeer Peer;
  TPropeller Link{std::cout, {}, Peer.Port()};
  EXPECT_FALSE(Link.OpenPort("/dev/qkl-no-such-port"));
  EXPECT_EQ(Link.LastError(), "Unable to open port");
  EXPECT_EQ(Link.OpenFailureCode(), ENOENT);
  EXPECT_EQ(Link.OpenFailureText(), std::strerror(ENOENT));
  EXPECT_FALSE(Link.PortOpen());
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  EXPECT_EQ(Link.OpenFailureCode(), 0);
  EXPECT_EQ(Link.OpenFailureText(), "");
}

TEST(PortConnection, OpeningTwiceFailsAndLeavesTheOpenPort) {
  TScriptedPeer Peer;
  TPropeller Link{std::cout, {}, Peer.Port()};
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  EXPECT_FALSE(Link.OpenPort(Peer.PortName()));
  EXPECT_EQ(Link.LastError(), "Unable to open port");
  EXPECT_EQ(Link.OpenFailureText(), "Instance already in use");
  EXPECT_TRUE(Link.PortOpen());
}

// DTR off, a pulse of at least 2 ms, off again; RTS stays on. The end of the pulse is the
// reference of the protocol's delays.
TEST(PortConnection, OpenResetsTheChipWithADtrPulse) {
  TScriptedPeer Peer;
  TPropeller Link{std::cout, {}, Peer.Port()};
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  const auto Changes = Peer.VirtualLine().ModemChanges();
  ASSERT_EQ(Changes.size(), 3u);
  EXPECT_FALSE(Changes[0].Dtr);
  EXPECT_TRUE(Changes[1].Dtr);
  EXPECT_FALSE(Changes[2].Dtr);
  for (const auto& Change : Changes) EXPECT_TRUE(Change.Rts);
  EXPECT_GE(MsBetween(Changes[1].At, Changes[2].At), 2);
  EXPECT_EQ(Link.LinkSession().ResetMarkTime(), Changes[2].At);
  EXPECT_EQ(Peer.VirtualLine().Baud(), 115200u);
  EXPECT_EQ(Link.ResetRefusalCode(), 0);
}

// A refused modem line does not stop the link; it is kept for the flows to report. A port
// without modem lines refuses nothing.
TEST(PortConnection, ResetRefusalIsKeptAndADeviceWithoutModemLinesRefusesNothing) {
  for (const int32_t Answer : {int32_t{EIO}, int32_t{ErrNoModemLines}}) {
    TScriptedPeer Peer;
    Peer.VirtualLine().AnswerModemLines({Answer});
    TPropeller Link{std::cout, {}, Peer.Port()};
    ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
    EXPECT_EQ(Link.ResetRefusalCode(), Answer == EIO ? EIO : 0);
    EXPECT_EQ(Link.ResetRefusalText(), Answer == EIO ? std::strerror(EIO) : "OK");
  }
}

TEST(PortConnection, HighSpeedEncodingFollowsTheLinkRate) {
  TScriptedPeer Peer;
  TPropeller Link{std::cout, {}, Peer.Port()};
  Link.SetBaudRate(230400);
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  EXPECT_TRUE(Link.LinkSession().HighSpeedEncoding());
  Link.ClosePort();
  Link.SetBaudRate(115200);
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  EXPECT_FALSE(Link.LinkSession().HighSpeedEncoding());
}

TEST(PortConnection, ClosingAndDestroyingReleaseThePort) {
  TScriptedPeer Peer;
  {
    TPropeller Link{std::cout, {}, Peer.Port()};
    ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
    TPropeller Second{std::cout, {}, Peer.Port()};
    EXPECT_FALSE(Second.OpenPort(Peer.PortName())) << "the line is held";
    Link.ClosePort();
    EXPECT_FALSE(Link.PortOpen());
    ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  }
  TPropeller Other{std::cout, {}, Peer.Port()};  // an exclusive open succeeds once the first let go
  EXPECT_TRUE(Other.OpenPort(Peer.PortName()));
}

TEST(DelayMs, WaitsUntilTheMomentAfterTheReset) {
  TScriptedPeer Peer;
  TPropeller Link{std::cout, {}, Peer.Port()};
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  TLinkSession& Session = Link.LinkSession();
  const TPortTime Mark = Session.ResetMarkTime();
  Session.DelayMs(95);
  EXPECT_EQ(MsBetween(Mark, Session.Now()), 95);
  Session.DelayMs(40);  // the moment has passed: no wait
  Session.DelayMs(0);
  EXPECT_EQ(MsBetween(Mark, Session.Now()), 95);
}
