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

// The reset line off, on for at least 2 ms, off again (or, held, left on); the other line stays
// where the set-up leaves it (DTR off, RTS on). The end of the pulse is the reference of the
// protocol's delays. Qkl's own reset is the DTR pulse.
struct TResetCase {
  const char* Name;
  const TResetMethod& Method;
  bool Held;
};

class ResetLine : public ::testing::TestWithParam<TResetCase> {};

TEST_P(ResetLine, OpenPulsesTheChosenLineAndLeavesTheOther) {
  const TResetCase& Case = GetParam();
  TScriptedPeer Peer;
  TPropeller Link{std::cout, {}, Peer.Port()};
  Link.LinkSession().SetResetMethod(Case.Method);
  Link.LinkSession().HoldResetLine(Case.Held);
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  const auto Changes = Peer.VirtualLine().ModemChanges();
  const bool ByDtr = &Case.Method == &DtrReset();
  ASSERT_EQ(Changes.size(), Case.Held ? 2u : 3u);
  for (std::size_t Index = 0; Index < Changes.size(); ++Index) {
    const bool On = Index == 1 || (Case.Held && Index == 2);
    EXPECT_EQ(ByDtr ? Changes[Index].Dtr : Changes[Index].Rts, On) << Index;
    EXPECT_EQ(ByDtr ? Changes[Index].Rts : Changes[Index].Dtr, ByDtr) << Index;
  }
  EXPECT_GE(MsBetween(Changes[1].At, Link.LinkSession().ResetMarkTime()), 2);
  if (!Case.Held) {
    EXPECT_EQ(Link.LinkSession().ResetMarkTime(), Changes[2].At);
  }
  EXPECT_EQ(Peer.VirtualLine().Baud(), 115200u);
  EXPECT_EQ(Link.ResetRefusalCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(Methods, ResetLine,
                         ::testing::Values(TResetCase{"DtrPulse", DtrReset(), false},
                                           TResetCase{"RtsPulse", RtsReset(), false},
                                           TResetCase{"DtrHeld", DtrReset(), true}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Attaching to a running chip opens the port without touching a modem line.
TEST(PortConnection, AttachLeavesTheModemLines) {
  TScriptedPeer Peer;
  TLinkSession Session(Peer.Port());
  ASSERT_TRUE(Session.Attach(Peer.PortName(), 115200).Ok());
  EXPECT_TRUE(Session.IsOpen());
  EXPECT_TRUE(Peer.VirtualLine().ModemChanges().empty());
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
