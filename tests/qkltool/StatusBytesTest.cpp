// The end of a test program's output, 0xFF 0x00 status, found wherever the port's reads split the
// bytes, and output that only looks like its beginning shown whole.
#include <gtest/gtest.h>

#include "qkltool/StatusBytes.h"

namespace {

using namespace std::string_literals;

struct TStream {
  const char* Name;
  std::string Received;
  std::string Shown;
  std::optional<int> Status;
};

void PrintTo(const TStream& Stream, std::ostream* Into) { *Into << Stream.Name; }

class StatusBytes : public ::testing::TestWithParam<TStream> {};

TEST_P(StatusBytes, FindsTheEndAtEverySplitOfTheReads) {
  const TStream& Case = GetParam();
  for (std::size_t Split = 0; Split <= Case.Received.size(); ++Split) {
    TStatusBytes Ending;
    std::string Shown;
    std::optional<int> Status = Ending.Take(Case.Received.substr(0, Split), Shown);
    if (!Status) Status = Ending.Take(Case.Received.substr(Split), Shown);
    EXPECT_EQ(Shown, Case.Shown) << "split at " << Split;
    EXPECT_EQ(Status, Case.Status) << "split at " << Split;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, StatusBytes,
    ::testing::Values(TStream{"StatusAfterText", "ok\r\n\xFF\x00\x05 after"s, "ok\r\n", 5},
                      TStream{"StatusZero", "\xFF\x00\x00"s, "", 0},
                      TStream{"StatusOfAllOnes", "\xFF\x00\xFF"s, "", 255},
                      TStream{"MarkWithoutZero", "a\xFF\x01z"s, "a\xFF\x01z"s, std::nullopt},
                      TStream{"MarkTwice", "\xFF\xFF\x00\x07"s, "\xFF"s, 7},
                      TStream{"BeginningHeldAtTheEnd", "a\xFF\x00"s, "a", std::nullopt}),
    [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
