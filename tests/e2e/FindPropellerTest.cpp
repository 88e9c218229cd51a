// The link's detection against the virtual chip, meeting it only on a pseudo-terminal.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "link/PortProbe.h"
#include "link/Propeller.h"
#include "tests/link/LinkTesting.h"
#include "tests/support/ChipFixture.h"
#include "tests/support/ParamNames.h"

namespace {

using namespace std::chrono_literals;

class FindPropeller : public ::testing::TestWithParam<uint32_t> {
protected:
  uint8_t Find(simtest::ThreadChip& Chip) {
    Link.SetBaudRate(GetParam());
    return Link.FindPropeller(Chip.SlavePath());
  }
  TPropeller Link{std::cout};
};

TEST_P(FindPropeller, FindsVersionOneWithTheHandshakeOnTheWireAsItMustBe) {
  simtest::ThreadChip Chip;
  ASSERT_EQ(Find(Chip), 1);
  EXPECT_EQ(Link.Version(), 1);
  EXPECT_TRUE(Link.PortOpen());  // the port stays open for the download
  const std::string Wire = Chip.LastExchange().bytes;
  ASSERT_EQ(Wire.size(), 328u);
  EXPECT_EQ(Wire.substr(0, 4), "\xF9\x4A\x25\xD5");
  EXPECT_EQ(Wire.substr(65, 5), "\xCA\xD2\xCA\x2A\xFF");
  EXPECT_EQ(Wire.substr(70), std::string(258, '\xF9'));
  EXPECT_NE(Chip.Log().WaitFor("handshake: 250 host bits match", 1s), "");
  EXPECT_NE(Chip.Log().WaitFor("link rate " + std::to_string(GetParam()) + " baud", 1s), "");
  EXPECT_GE(Chip.LastExchange().firstByteAt - Link.LinkSession().ResetMarkTime(), 95ms);
}

TEST_P(FindPropeller, VersionZeroIsNoChipAndLeavesTheLastErrorAlone) {
  qkl::sim::ChipSettings Settings;
  Settings.version = 0;
  simtest::ThreadChip Chip(Settings);
  linktest::LeaveEarlierError(Link);
  EXPECT_EQ(Find(Chip), 0);
  EXPECT_EQ(Link.LastError(), linktest::EarlierError);
  EXPECT_FALSE(Link.PortOpen());
}

TEST_P(FindPropeller, UnopenablePort) {
  Link.SetBaudRate(GetParam());
  EXPECT_EQ(Link.FindPropeller("/nonexistent/qkl-port"), 0);
  EXPECT_EQ(Link.LastError(), "Unable to open port");
}

TEST_P(FindPropeller, EveryCallResetsTheChipAgain) {
  simtest::ThreadChip Chip;
  ASSERT_EQ(Find(Chip), 1);
  ASSERT_EQ(Find(Chip), 1);
  EXPECT_EQ(Chip.Log().CountOf("handshake answered"), 2);
}

INSTANTIATE_TEST_SUITE_P(BothRates, FindPropeller, ::testing::Values(115200u, 230400u),
                         simtest::RateName);

struct AnswerFault {
  const char* Name;
  void (*Set)(qkl::sim::ChipFaults&);
  const char* LastError;
};

class FindPropellerFault : public ::testing::TestWithParam<std::tuple<uint32_t, AnswerFault>> {};

// Each failed answer ends the detection with the port closed.
TEST_P(FindPropellerFault, FailsWithTheRightLastErrorAndClosesThePort) {
  const auto& [Baud, Fault] = GetParam();
  qkl::sim::ChipSettings Settings;
  Fault.Set(Settings.faults);
  simtest::ThreadChip Chip(Settings);
  TPropeller Link{std::cout};
  Link.SetBaudRate(Baud);
  EXPECT_EQ(Link.FindPropeller(Chip.SlavePath()), 0);
  EXPECT_EQ(Link.LastError(), Fault.LastError);
  EXPECT_FALSE(Link.PortOpen());
}

INSTANTIATE_TEST_SUITE_P(
    BothRates, FindPropellerFault,
    ::testing::Combine(
        ::testing::Values(115200u, 230400u),
        ::testing::Values(
            AnswerFault{"NoChip", [](qkl::sim::ChipFaults& F) { F.absent = true; },
                        "Timeout Failed at Read 1"},
            AnswerFault{"Echo", [](qkl::sim::ChipFaults& F) { F.echo = true; },
                        "Timeout Failed at Read 1"},
            AnswerFault{"WrongBit17", [](qkl::sim::ChipFaults& F) { F.wrongAnswerAt = 17; },
                        "Mismatch Failed at Read 17"},
            AnswerFault{"Garbage", [](qkl::sim::ChipFaults& F) { F.garbageFrom = 1; },
                        "Timeout Failed at Read 1"},
            AnswerFault{"StopsAfter100", [](qkl::sim::ChipFaults& F) { F.stopAfterBytes = 100; },
                        "Timeout Failed at Read 101"})),
    [](const auto& Info) {
      return std::get<1>(Info.param).Name + std::string("At") +
             std::to_string(std::get<0>(Info.param));
    });

}  // namespace

// The probe runs one detection on each port at once: a chip answers with its version, a line
// without one gives none, a port that does not exist says why, and a port another program
// holds is not opened at all (its chip sees no reset).
TEST(ProbePorts, DetectsOnEveryPortButABusyOne) {
  simtest::ThreadChip WithChip;
  qkl::sim::ChipSettings Absent;
  Absent.faults.absent = true;
  simtest::ThreadChip Empty(Absent);
  simtest::ThreadChip Held;
  const int Holder = ::open(Held.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(Holder, 0);
  ASSERT_EQ(::flock(Holder, LOCK_EX | LOCK_NB), 0);
  const std::vector<std::string> Ports = {WithChip.SlavePath(), Empty.SlavePath(), Held.SlavePath(),
                                          "/dev/qkl-no-such-port"};
  const std::vector<TProbeResult> Results = ProbePorts(Ports, {});
  ::close(Holder);

  ASSERT_EQ(Results.size(), Ports.size());
  for (std::size_t Index = 0; Index < Ports.size(); ++Index)
    EXPECT_EQ(Results[Index].PortName, Ports[Index]);
  EXPECT_EQ(Results[0].Version, 1);
  EXPECT_EQ(Results[1].Version, 0);
  EXPECT_EQ(Results[1].OpenFailure, "");
  EXPECT_TRUE(Results[2].Busy);
  EXPECT_EQ(Held.Log().CountOf("reset"), 1);  // the power-on reset only
  EXPECT_FALSE(Results[3].Busy);
  EXPECT_EQ(Results[3].OpenFailure, std::strerror(ENOENT));
}
