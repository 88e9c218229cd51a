// The link's detection against the virtual chip, meeting it only on a pseudo-terminal.
#include <gtest/gtest.h>

#include "link/LinkState.h"
#include "link/Propeller.h"
#include "tests/support/ChipFixture.h"

namespace {

using namespace std::chrono_literals;


class FindPropeller : public ::testing::TestWithParam<uint32_t> {
protected:
  uint8_t Find(simtest::ThreadChip& Chip) {
    Link.BaudRate = GetParam();
    return Link.FindPropeller(Chip.SlavePath());
  }
  static sim::ChipSettings WithFaults(const sim::ChipFaults& Faults) {
    sim::ChipSettings Settings;
    Settings.Faults = Faults;
    return Settings;
  }
  TPropeller Link;
};

TEST_P(FindPropeller, FindsVersionOneWithTheHandshakeOnTheWireAsItMustBe) {
  simtest::ThreadChip Chip;
  ASSERT_EQ(Find(Chip), 1);
  EXPECT_EQ(Link.Version(), 1);
  EXPECT_EQ(Link.CurrentPort, Chip.SlavePath());  // the port stays open for the download
  const std::string Wire = Chip.HostBytesSinceReset();
  ASSERT_EQ(Wire.size(), 328u);
  EXPECT_EQ(Wire.substr(0, 4), "\xF9\x4A\x25\xD5");
  EXPECT_EQ(Wire.substr(65, 5), "\xCA\xD2\xCA\x2A\xFF");
  EXPECT_EQ(Wire.substr(70), std::string(258, '\xF9'));
  EXPECT_NE(Chip.Log().WaitFor("handshake: 250 host bits match", 1s), "");
  EXPECT_NE(Chip.Log().WaitFor("link rate " + std::to_string(GetParam()) + " baud", 1s), "");
  EXPECT_GE(Chip.FirstHostByteAt() - ResetMark, 95ms);
}

TEST_P(FindPropeller, NoChipTimesOutAtTheFirstAnswer) {
  sim::ChipFaults Faults;
  Faults.Absent = true;
  simtest::ThreadChip Chip(WithFaults(Faults));
  EXPECT_EQ(Find(Chip), 0);
  EXPECT_EQ(Link.LastError, "Timeout Failed at Read 1");
  EXPECT_EQ(Link.CurrentPort, "");
}

TEST_P(FindPropeller, EchoingLineTimesOutAtTheFirstAnswer) {
  sim::ChipFaults Faults;
  Faults.Echo = true;
  simtest::ThreadChip Chip(WithFaults(Faults));
  EXPECT_EQ(Find(Chip), 0);
  EXPECT_EQ(Link.LastError, "Timeout Failed at Read 1");
}

TEST_P(FindPropeller, WrongSeventeenthAnswerIsAMismatch) {
  sim::ChipFaults Faults;
  Faults.WrongAnswerAt = 17;
  simtest::ThreadChip Chip(WithFaults(Faults));
  EXPECT_EQ(Find(Chip), 0);
  EXPECT_EQ(Link.LastError, "Mismatch Failed at Read 17");
  EXPECT_EQ(Link.CurrentPort, "");
}

TEST_P(FindPropeller, GarbageAndMissingAnswersAreTimeouts) {
  sim::ChipFaults Garbage;
  Garbage.GarbageFrom = 1;
  simtest::ThreadChip Noisy(WithFaults(Garbage));
  EXPECT_EQ(Find(Noisy), 0);
  EXPECT_EQ(Link.LastError, "Timeout Failed at Read 1");
  sim::ChipFaults Stopping;
  Stopping.StopAfterBytes = 100;
  simtest::ThreadChip Quiet(WithFaults(Stopping));
  EXPECT_EQ(Find(Quiet), 0);
  EXPECT_EQ(Link.LastError, "Timeout Failed at Read 101");
}

TEST_P(FindPropeller, VersionZeroIsNoChipAndLeavesTheLastErrorAlone) {
  sim::ChipSettings Settings;
  Settings.Version = 0;
  simtest::ThreadChip Chip(Settings);
  Link.LastError = "earlier failure";
  EXPECT_EQ(Find(Chip), 0);
  EXPECT_EQ(Link.LastError, "earlier failure");
  EXPECT_EQ(Link.CurrentPort, "");
}

TEST_P(FindPropeller, UnopenablePort) {
  Link.BaudRate = GetParam();
  EXPECT_EQ(Link.FindPropeller("/nonexistent/qkl-port"), 0);
  EXPECT_EQ(Link.LastError, "Unable to open port");
}

TEST_P(FindPropeller, EveryCallResetsTheChipAgain) {
  simtest::ThreadChip Chip;
  ASSERT_EQ(Find(Chip), 1);
  ASSERT_EQ(Find(Chip), 1);
  EXPECT_EQ(Chip.Log().CountOf("handshake answered"), 2);
}

INSTANTIATE_TEST_SUITE_P(BothRates, FindPropeller, ::testing::Values(115200u, 230400u),
                         [](const auto& Info) { return "At" + std::to_string(Info.param); });

}  // namespace
