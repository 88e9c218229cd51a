#include <gtest/gtest.h>

#include <sstream>

#include "ReaderImage.h"
#include "ReaderScript.h"
#include "LinkTesting.h"
#include "link/Propeller.h"

namespace {
uint32_t ReaderLong(std::size_t Index) {
  uint32_t Value = 0;
  for (std::size_t Byte = 0; Byte < 4; ++Byte) {
    const std::size_t At = Index * 4 + Byte;
    if (At < sizeof ReaderImage) Value |= static_cast<uint32_t>(ReaderImage[At]) << (8 * Byte);
  }
  return Value;
}

class ReadEeprom : public testing::Test {
protected:
  TScriptedPeer Peer;
  std::ostringstream Out;
  TPropeller Link{Out, {}, Peer.Port()};
  std::vector<uint32_t> Download;
};
}  // namespace

TEST(ReaderImage, PreparedImageIsAValidImageWithNothingBehindIt) {
  std::ostringstream Out;
  TPropeller Link(Out);
  linktest::FillImage(Link, 0x5A);
  Link.PrepareReaderImage();
  EXPECT_EQ(std::string(Link.Image().begin() + sizeof ReaderImage, Link.Image().end()),
            std::string(ImageSize - sizeof ReaderImage, '\0'));
  EXPECT_TRUE(Link.ChecksumValid());
  const uint32_t Vbase = ReaderImage[8] | ReaderImage[9] << 8;
  EXPECT_EQ(Link.LongCount(), Vbase / 4);
  EXPECT_LE(Link.LongCount() * 4, sizeof ReaderImage);
}

TEST_F(ReadEeprom, LoadsTheReaderInRamModeAndReadsTheEeprom) {
  Peer.Start([this](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(1);
    Download = P.TakeDownload();
    P.AnswerPoll(0xFE);
    PlayReader(P, TReaderPlay{});
  });
  ASSERT_EQ(Link.FindPropeller(Peer.PortName()), 1);
  EXPECT_TRUE(Link.ReadEeprom());
  const std::string Printed = Out.str();
  EXPECT_EQ(Peer.Finish(), "");
  EXPECT_NE(Printed.find("CRC is good\nCRC is 00FF 00FF\n"), std::string::npos);
  ASSERT_GE(Download.size(), 2u);
  EXPECT_EQ(Download[0], 1u);
  ASSERT_EQ(Download.size(), Download[1] + 2);
  for (std::size_t Index = 0; Index < Download[1]; ++Index) {
    EXPECT_EQ(Download[Index + 2], ReaderLong(Index)) << "long " << Index;
  }
  EXPECT_EQ(std::string(Link.Image().begin(), Link.Image().end()), std::string(ImageSize, '\xFF'));
}

TEST_F(ReadEeprom, FailedReaderDownloadPrintsItsText) {
  Peer.Start([](TScriptedPeer& P) {
    P.TakeHandshake(true);
    P.AnswerHandshake(1);
    P.TakeDownload();
    P.AnswerPoll(0xFF);
  });
  ASSERT_EQ(Link.FindPropeller(Peer.PortName()), 1);
  EXPECT_FALSE(Link.ReadEeprom());
  EXPECT_EQ(Out.str(), "Ram verify error\n");
  EXPECT_TRUE(Link.PortOpen());
  EXPECT_EQ(Peer.Finish(), "");
}
