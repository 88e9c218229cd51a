#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <sstream>

#include "ScriptedPeer.h"
#include "LinkTesting.h"
#include "link/Propeller.h"
#include "tests/support/ParamNames.h"

namespace {
using std::chrono::milliseconds;

int64_t MsBetween(TPortTime From, TPortTime To) {
  return std::chrono::duration_cast<milliseconds>(To - From).count();
}

class FindPropeller : public testing::Test {
protected:
  TScriptedPeer Peer;
  TPropeller Link{std::cout, {}, Peer.Port()};

  void SetUp() override { linktest::LeaveEarlierError(Link); }

  // Runs a detection against the chip that Script plays; the script must end without fault.
  uint8_t DetectWith(const TScriptedPeer::TScript& Script) {
    Peer.Start(Script);
    const uint8_t Found = Link.FindPropeller(Peer.PortName());
    EXPECT_EQ(Peer.Finish(), "");
    return Found;
  }

  void ExpectClosed() { EXPECT_FALSE(Link.PortOpen()); }
};

class FindPropellerAtBothRates : public FindPropeller,
                                 public testing::WithParamInterface<uint32_t> {};

// A chip that takes the handshake and answers it.
TScriptedPeer::TScript Chip(uint8_t Version, int WrongBit = 0, int VersionBits = 8) {
  return [=](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(Version, WrongBit, VersionBits);
  };
}
}  // namespace

TEST_P(FindPropellerAtBothRates, FindsVersionOneAndKeepsThePortOpen) {
  Link.SetBaudRate(GetParam());
  EXPECT_EQ(DetectWith(Chip(1)), 1);
  EXPECT_EQ(Link.Version(), 1);
  EXPECT_TRUE(Link.PortOpen());
  EXPECT_EQ(Link.LastError(), linktest::EarlierError);  // a success clears nothing
  // The packet: calibration byte, the 69 bytes of the shift-register bits, 258 windows.
  ASSERT_EQ(Peer.Received.size(), 328u);
  EXPECT_EQ(Peer.Received.substr(0, 4), "\xF9\x4A\x25\xD5");
  EXPECT_EQ(Peer.Received.substr(70), std::string(258, '\xF9'));
  EXPECT_GE(MsBetween(Link.LinkSession().ResetMarkTime(), Peer.FirstByteAt), 95);
}

TEST_P(FindPropellerAtBothRates, EveryDetectionResetsTheChipAgain) {
  Link.SetBaudRate(GetParam());
  Peer.Start([](TScriptedPeer& P) {
    Chip(1)(P);
    Chip(2)(P);
  });
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 1);
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 2);
  EXPECT_EQ(Peer.Finish(), "");
}

INSTANTIATE_TEST_SUITE_P(Rates, FindPropellerAtBothRates, testing::Values(115200u, 230400u),
                         simtest::RateName);

TEST_F(FindPropeller, NoChipTimesOutAtTheFirstRead) {
  const TPortTime Start = Peer.VirtualLine().Now();
  EXPECT_EQ(Link.FindPropeller(Peer.PortName()), 0);
  EXPECT_EQ(Link.LastError(), "Timeout Failed at Read 1");
  // The reply wait of 200 ms and the drain of 50 ms come after the packet at 95 ms.
  EXPECT_GE(MsBetween(Start, Peer.VirtualLine().Now()), 340);
  ExpectClosed();
}

TEST_F(FindPropeller, EchoingLineFailsAtTheFirstRead) {
  EXPECT_EQ(DetectWith([](TScriptedPeer& P) {
              for (int Byte = 0; Byte < 328; ++Byte)
                P.Send(std::string(1, static_cast<char>(P.ReadByte())));
            }),
            0);
  EXPECT_EQ(Link.LastError(), "Timeout Failed at Read 1");
  ExpectClosed();
}

TEST_F(FindPropeller, WrongSeventeenthAnswerBitIsAMismatch) {
  EXPECT_EQ(DetectWith(Chip(1, 17)), 0);
  EXPECT_EQ(Link.LastError(), "Mismatch Failed at Read 17");
  ExpectClosed();
}

TEST_F(FindPropeller, AnswerStoppingNamesTheMissingRead) {
  EXPECT_EQ(DetectWith([](TScriptedPeer& P) {
              P.TakeHandshake(true);
              for (int Window = 0; Window < 258; ++Window) P.IgnorePoll();  // windows, no answers
            }),
            0);
  EXPECT_EQ(Link.LastError(), "Timeout Failed at Read 1");
}

TEST_F(FindPropeller, MissingVersionBitsLeaveLastErrorAlone) {
  EXPECT_EQ(DetectWith(Chip(1, 0, 3)), 0);
  EXPECT_EQ(Link.LastError(), linktest::EarlierError);
  ExpectClosed();
}

TEST_F(FindPropeller, VersionZeroIsNotAChip) {
  EXPECT_EQ(DetectWith(Chip(0)), 0);
  EXPECT_EQ(Link.LastError(), linktest::EarlierError);
  ExpectClosed();
}

TEST_F(FindPropeller, PortThatCannotBeOpenedFails) {
  EXPECT_EQ(Link.FindPropeller("/dev/qkl-no-such-port"), 0);
  EXPECT_EQ(Link.LastError(), "Unable to open port");
  ExpectClosed();
}

// The trace holds every byte of the detection in its direction, timed from the reset.
TEST_F(FindPropeller, TraceRecordsEveryByteTimedFromTheReset) {
  std::ostringstream Text;
  TWireTrace Trace(Text);
  Link.LinkSession().TraceTo(&Trace);
  ASSERT_EQ(DetectWith(Chip(1)), 1);
  std::istringstream Lines(Text.str());
  std::string Line;
  std::map<std::string, std::string> Bytes;  // by direction
  std::map<std::string, double> FirstMs;
  while (std::getline(Lines, Line)) {
    std::istringstream Fields(Line);
    std::string Port, Time, Unit, Kind;
    Fields >> Port >> Time >> Unit >> Kind;
    ASSERT_EQ(Port, Peer.PortName()) << Line;
    FirstMs.try_emplace(Kind, std::stod(Time));
    for (std::string Hex; Fields >> Hex;)
      if (Kind != "--") Bytes[Kind] += static_cast<char>(std::stoi(Hex, nullptr, 16));
  }
  EXPECT_EQ(Bytes["tx"], Peer.Received);
  EXPECT_EQ(Bytes["rx"].size(), 258u);  // the 250 handshake bits and 8 version bits
  EXPECT_EQ(FirstMs["--"], 0.0);        // the reset
  EXPECT_GE(FirstMs["tx"], 95.0);
}
