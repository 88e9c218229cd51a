// Links share nothing: two sessions on two lines talk to two chips at the same time, each at
// its own rate, with its own image, progress and errors.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "ScriptedPeer.h"
#include "link/Propeller.h"

namespace {
struct TSide {
  explicit TSide(const std::string& PortName, uint32_t Baud, uint32_t Longs, uint8_t Verdict)
      : Chip(PortName), Verdict(Verdict) {
    Link.SetBaudRate(Baud);
    for (uint32_t Index = 0; Index < Longs; ++Index) Link.SetImageLong(Index, Index * Baud);
    Link.SetLongCount(Longs);
  }

  void Run() {
    Chip.Start([this](TScriptedPeer& P) {
      P.TakeHandshake(true);
      P.AnswerHandshake(1);
      Download = P.TakeDownload();
      P.AnswerPoll(Verdict);
    });
    Found = Link.FindPropeller(Chip.PortName());
    Loaded = Link.LoadImage(1);
    Failure = Chip.Finish();
  }

  TScriptedPeer Chip;
  uint8_t Verdict;
  std::vector<std::string> Statuses;
  std::ostringstream Out;
  TPropeller Link{
      Out, {[this](const std::string& Text) { Statuses.push_back(Text); }, nullptr}, Chip.Port()};
  std::vector<uint32_t> Download;
  uint8_t Found = 0;
  bool Loaded = false;
  std::string Failure;
};
}  // namespace

TEST(TwoSessions, TalkToTwoChipsSideBySide) {
  TSide Fast("line-a", 230400, 3000, 0xFE);
  TSide Slow("line-b", 115200, 1000, 0xFF);
  std::thread First([&Fast] { Fast.Run(); });
  std::thread Second([&Slow] { Slow.Run(); });
  First.join();
  Second.join();

  for (TSide* Side : {&Fast, &Slow}) {
    EXPECT_EQ(Side->Failure, "");
    EXPECT_EQ(Side->Found, 1);
    ASSERT_EQ(Side->Download.size(), Side->Link.LongCount() + 2);
    for (uint32_t Index = 0; Index < Side->Link.LongCount(); ++Index)
      ASSERT_EQ(Side->Download[Index + 2], Side->Link.ImageLong(Index)) << Index;
    EXPECT_EQ(Side->Statuses.front(),
              "Loading RAM " + std::to_string(Side->Link.LongCount()) + " Longs");
  }
  EXPECT_TRUE(Fast.Link.LinkSession().HighSpeedEncoding());
  EXPECT_FALSE(Slow.Link.LinkSession().HighSpeedEncoding());
  EXPECT_TRUE(Fast.Loaded);
  EXPECT_FALSE(Slow.Loaded);
  EXPECT_EQ(Fast.Link.LastError(), "");
  EXPECT_EQ(Slow.Link.LastError(), "Ram verify error");
}
