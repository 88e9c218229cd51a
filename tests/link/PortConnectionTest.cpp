#include <gtest/gtest.h>
#include <iostream>

#include "ScriptedPeer.h"
#include "link/LinkState.h"
#include "link/Propeller.h"

namespace {
using std::chrono::milliseconds;

int64_t MsSince(TLinkClock::time_point Start) {
  return std::chrono::duration_cast<milliseconds>(TLinkClock::now() - Start).count();
}
}  // namespace

TEST(LinkObject, StartsClosedAndEmpty) {
  TPropeller Link{std::cout};
  EXPECT_EQ(Link.Version(), 0);
  EXPECT_FALSE(Link.ImageValid());
  EXPECT_EQ(Link.BaudRate, 115200u);
  EXPECT_TRUE(Link.Verbose);
  EXPECT_EQ(Link.LongCount, 0u);
  EXPECT_TRUE(Link.CurrentPort.empty());
  EXPECT_FALSE(Link.Serial->Active());
  EXPECT_EQ(Link.Image, (std::array<uint8_t, ImageSize>{}));
}

TEST(LinkObject, ClosingANeverOpenedPortDoesNothing) {
  TPropeller Link{std::cout};
  Link.ClosePort();
  Link.ClosePort();
  EXPECT_TRUE(Link.CurrentPort.empty());
}

TEST(PortConnection, MissingPortFailsAndKeepsEarlierState) {
  TPropeller Link{std::cout};
  Link.CurrentPort = "earlier";
  HighSpeedEncoding = true;
  EXPECT_FALSE(Link.OpenPort("/dev/qkl-no-such-port"));
  EXPECT_EQ(Link.LastError, "Unable to open port");
  EXPECT_EQ(Link.CurrentPort, "earlier");
  EXPECT_TRUE(HighSpeedEncoding);
  HighSpeedEncoding = false;
}

TEST(PortConnection, OpeningTwiceFailsAndLeavesTheOpenPort) {
  TScriptedPeer Peer;
  TPropeller Link{std::cout};
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  EXPECT_EQ(Link.CurrentPort, Peer.PortName());
  EXPECT_FALSE(Link.OpenPort(Peer.PortName()));
  EXPECT_EQ(Link.LastError, "Unable to open port");
  EXPECT_TRUE(Link.Serial->Active());
  EXPECT_EQ(Link.CurrentPort, Peer.PortName());
}

TEST(PortConnection, OpenSetsThePortUpForTheProtocol) {
  TScriptedPeer Peer;
  TPropeller Link{std::cout};
  const auto Before = TLinkClock::now();
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  // The reset pulse lasts at least 2 ms and its end is the new reference.
  EXPECT_GE(std::chrono::duration_cast<milliseconds>(ResetMark - Before).count(), 2);
  EXPECT_TRUE(Link.Serial->RaiseExcept);
  EXPECT_FALSE(Link.Serial->LinuxLock);
  EXPECT_EQ(Link.Serial->DeadlockTimeout, 500);
  EXPECT_EQ(Link.Serial->LineSettings().BaudRate, 115200u);
  EXPECT_EQ(Link.Serial->LineSettings().ByteSize, 8);
}

TEST(PortConnection, HighSpeedEncodingFollowsTheLinkRate) {
  TScriptedPeer Peer;
  TPropeller Link{std::cout};
  Link.BaudRate = 230400;
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  EXPECT_TRUE(HighSpeedEncoding);
  Link.ClosePort();
  Link.BaudRate = 115200;
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  EXPECT_FALSE(HighSpeedEncoding);
}

TEST(PortConnection, ClosingAndDestroyingReleaseThePort) {
  TScriptedPeer Peer;
  {
    TPropeller Link{std::cout};
    ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
    Link.ClosePort();
    EXPECT_TRUE(Link.CurrentPort.empty());
    EXPECT_FALSE(Link.Serial->Active());
    ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  }
  TPropeller Other{std::cout};  // an exclusive open succeeds only once the first link let go
  EXPECT_TRUE(Other.OpenPort(Peer.PortName()));
}

TEST(DelayMs, WaitsUntilTheMomentAfterTheReset) {
  TPropeller Link{std::cout};
  ResetMark = TLinkClock::now() - milliseconds(500);
  auto Start = TLinkClock::now();
  Link.DelayMs(400);
  Link.DelayMs(0);
  EXPECT_LT(MsSince(Start), 200);  // the moment has passed: no wait, where a sleep takes 400 ms
  ResetMark = TLinkClock::now() - milliseconds(50);
  Start = TLinkClock::now();
  Link.DelayMs(95);
  EXPECT_GE(std::chrono::duration_cast<milliseconds>(TLinkClock::now() - ResetMark).count(), 95);
  EXPECT_GE(MsSince(Start), 40);
}
