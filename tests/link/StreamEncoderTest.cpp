#include <gtest/gtest.h>

#include <iostream>
#include <vector>

#include "ScriptedPeer.h"
#include "link/Propeller.h"
#include "link/ShiftRegister.h"
#include "link/StreamEncoder.h"
#include "tests/support/ParamNames.h"

namespace {
std::string Bytes(std::initializer_list<int> Values) {
  std::string Out;
  for (const int Value : Values) Out.push_back(static_cast<char>(Value));
  return Out;
}

std::string Repeat(int Value, std::size_t Count) {
  return std::string(Count, static_cast<char>(Value));
}

std::string EncodeLongs(const std::vector<uint32_t>& Longs, bool HighSpeed) {
  TStreamEncoder Encoder;
  Encoder.Reset();
  for (const uint32_t Long : Longs) Encoder.EncodeLong(Long, HighSpeed);
  return Encoder.Flush();
}

std::string HandshakeBits(bool HighSpeed) {
  uint8_t State = LfsrSeed;
  TStreamEncoder Encoder;
  Encoder.Reset();
  for (int Bit = 0; Bit < 250; ++Bit) Encoder.EncodeBit(StepShiftRegister(State), 0, HighSpeed);
  return Encoder.Flush();
}

class StreamEncoderAtBothSpeeds : public testing::TestWithParam<bool> {};
}  // namespace

TEST_P(StreamEncoderAtBothSpeeds, WorkedExampleGivesA9F2) {
  TStreamEncoder Encoder;
  Encoder.Reset();
  for (const uint8_t Bit : {1, 0, 1, 1, 0, 0}) Encoder.EncodeBit(Bit, 0, GetParam());
  EXPECT_EQ(Encoder.ByteCount(), 1);  // the sixth bit is still in the open frame
  EXPECT_EQ(Encoder.Flush(), Bytes({0xA9, 0xF2}));
}

TEST(StreamEncoder, FlushOfEmptyEncoderGivesNothingAndStaysEmpty) {
  TStreamEncoder Encoder;
  Encoder.Reset();
  EXPECT_EQ(Encoder.Flush(), "");
  EXPECT_EQ(Encoder.Flush(), "");
  EXPECT_EQ(Encoder.ByteCount(), 0);
}

TEST(StreamEncoder, FlushEmptiesEncoderForTheNextStream) {
  TStreamEncoder Encoder;
  Encoder.Reset();
  Encoder.EncodeLong(0x12345678, false);
  Encoder.Flush();
  Encoder.EncodeLong(0, false);
  EXPECT_EQ(Encoder.Flush(), Repeat(0x92, 10) + Bytes({0xF2}));
}

TEST(StreamEncoder, PairsOfLongsDifferAtHighSpeed) {
  EXPECT_EQ(EncodeLongs({0, 0}, false), Repeat(0x92, 21) + Bytes({0xFE}));
  EXPECT_EQ(EncodeLongs({0, 0}, true),
            Repeat(0x92, 10) + Bytes({0x32}) + Repeat(0x92, 10) + Bytes({0xFE}));
  EXPECT_EQ(EncodeLongs({0xFFFFFFFF, 0xFFFFFFFF}, false), Repeat(0x55, 12) + Bytes({0xD5}));
  EXPECT_EQ(EncodeLongs({0xFFFFFFFF, 0xFFFFFFFF}, true),
            Repeat(0x55, 6) + Bytes({0xAD}) + Repeat(0x55, 5) + Bytes({0xD5, 0xFF}));
}

TEST(StreamEncoder, LastBitOfLongAtNormalSpeedIsNotPadded) {
  // The bits 1, 1, 0 leave three free slots; at high speed bit index 31 starts a new byte.
  TStreamEncoder Normal;
  TStreamEncoder High;
  Normal.Reset();
  High.Reset();
  for (const uint8_t Bit : {1, 1, 0}) {
    Normal.EncodeBit(Bit, 0, false);
    High.EncodeBit(Bit, 0, true);
  }
  Normal.EncodeBit(1, 31, false);
  High.EncodeBit(1, 31, true);
  EXPECT_EQ(Normal.ByteCount(), 0);
  EXPECT_EQ(High.ByteCount(), 1);
}

TEST(StreamEncoder, LastBitWithFourFreeSlotsIsNotPaddedAtHighSpeed) {
  TStreamEncoder Encoder;
  Encoder.Reset();
  Encoder.EncodeBit(1, 0, true);
  Encoder.EncodeBit(1, 0, true);
  Encoder.EncodeBit(1, 0, true);  // four slots free
  Encoder.EncodeBit(1, 31, true);
  EXPECT_EQ(Encoder.ByteCount(), 0);
}

TEST_P(StreamEncoderAtBothSpeeds, LoneLongsEncodeAsTabled) {
  const bool HighSpeed = GetParam();
  EXPECT_EQ(EncodeLongs({0}, HighSpeed), Repeat(0x92, 10) + Bytes({0xF2}));
  EXPECT_EQ(EncodeLongs({0xFFFFFFFF}, HighSpeed), Repeat(0x55, 6) + Bytes({0xFD}));
}

TEST_P(StreamEncoderAtBothSpeeds, ModeAndCountLongs) {
  const bool HighSpeed = GetParam();
  EXPECT_EQ(EncodeLongs({1}, HighSpeed), Bytes({0xC9}) + Repeat(0x92, 9) + Bytes({0xF2}));
  EXPECT_EQ(EncodeLongs({2}, HighSpeed), Bytes({0xCA}) + Repeat(0x92, 9) + Bytes({0xF2}));
  EXPECT_EQ(EncodeLongs({3}, HighSpeed), Bytes({0x25}) + Repeat(0x92, 9) + Bytes({0xFE}));
  EXPECT_EQ(EncodeLongs({100}, HighSpeed), Bytes({0xD2, 0x52}) + Repeat(0x92, 8) + Bytes({0xFE}));
}

TEST_P(StreamEncoderAtBothSpeeds, HandshakeBitsAreSixtyNineBytes) {
  const std::string Encoded = HandshakeBits(GetParam());
  ASSERT_EQ(Encoded.size(), 69u);
  EXPECT_EQ(Encoded.substr(0, 8), Bytes({0x4A, 0x25, 0xD5, 0x4A, 0xD5, 0x92, 0x95, 0x4A}));
  EXPECT_EQ(Encoded.substr(64), Bytes({0xCA, 0xD2, 0xCA, 0x2A, 0xFF}));
}

TEST_P(StreamEncoderAtBothSpeeds, SessionEncodesAtTheRateOfItsLine) {
  TScriptedPeer Peer;
  TPropeller Link{std::cout, {}, Peer.Port()};
  Link.SetBaudRate(GetParam() ? 230400 : 115200);
  ASSERT_TRUE(Link.OpenPort(Peer.PortName()));
  TLinkSession& Session = Link.LinkSession();
  Session.ResetEncoder();
  Session.EncodeLong(0);
  Session.EncodeLong(0);
  EXPECT_EQ(Session.FlushEncoder(), EncodeLongs({0, 0}, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Speeds, StreamEncoderAtBothSpeeds, testing::Values(false, true),
                         simtest::SpeedName);
