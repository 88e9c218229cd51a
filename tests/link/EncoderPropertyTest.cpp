#include <gtest/gtest.h>

#include <random>

#include "tests/support/WireDecoder.h"
#include "link/StreamEncoder.h"
#include "tests/support/ParamNames.h"

namespace {
class EncoderDecodesOnChipTerms : public testing::TestWithParam<bool> {
protected:
  std::mt19937 Random{20260};  // fixed seed: every run checks the same sequences
  TStreamEncoder Encoder;
  std::string Line;
  std::vector<uint8_t> Expected;

  void SetUp() override { Encoder.Reset(); }

  void FlushSometimes() {
    if (Random() % 16 == 0) Line += Encoder.Flush();
  }

  void ExpectLineDecodesToExpected() {
    Line += Encoder.Flush();
    const simtest::TDecodedLine Decoded = simtest::DecodeLine(Line);
    EXPECT_EQ(Decoded.Fault, "");
    EXPECT_EQ(Decoded.Bits, Expected);
  }
};
}  // namespace

TEST_P(EncoderDecodesOnChipTerms, RandomBitsWithAnyIndex) {
  for (int Round = 0; Round < 20000; ++Round) {
    const auto Bit = static_cast<uint8_t>(Random() & 1);
    Encoder.EncodeBit(Bit, static_cast<int32_t>(Random() % 32), GetParam());
    Expected.push_back(Bit);
    FlushSometimes();
  }
  ExpectLineDecodesToExpected();
}

TEST_P(EncoderDecodesOnChipTerms, RandomLongs) {
  for (int Round = 0; Round < 3000; ++Round) {
    // Sparse and dense longs as well as uniform ones, so long runs of either bit occur.
    uint32_t Long = static_cast<uint32_t>(Random());
    if (Round % 3 == 1) Long &= static_cast<uint32_t>(Random());
    if (Round % 3 == 2) Long |= static_cast<uint32_t>(Random());
    Encoder.EncodeLong(Long, GetParam());
    for (int Bit = 0; Bit < 32; ++Bit) Expected.push_back((Long >> Bit) & 1);
    FlushSometimes();
  }
  ExpectLineDecodesToExpected();
}

TEST_P(EncoderDecodesOnChipTerms, HighSpeedLongsKeepTheirIdleSlotInsideAByte) {
  // The extra high bit time after each long must never land on a start bit, or the first
  // pulse of the next long would grow by one bit time: the decoding would then fail.
  for (uint32_t Long : {0u, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0xAAAAAAAAu, 0x55555555u}) {
    for (int Repeat = 0; Repeat < 12; ++Repeat) {
      Encoder.EncodeLong(Long, GetParam());
      for (int Bit = 0; Bit < 32; ++Bit) Expected.push_back((Long >> Bit) & 1);
    }
  }
  ExpectLineDecodesToExpected();
}

TEST(LineDecoder, RejectsPulsesOfOtherWidths) {
  EXPECT_NE(simtest::DecodeLine(std::string(1, '\xF1')).Fault,
            "");  // start bit and three low data bits
  EXPECT_NE(simtest::DecodeLine(std::string(1, '\x00')).Fault, "");
  EXPECT_EQ(simtest::DecodeLine(std::string(1, '\xF9')).Bits, (std::vector<uint8_t>{1, 0}));
}

INSTANTIATE_TEST_SUITE_P(Speeds, EncoderDecodesOnChipTerms, testing::Values(false, true),
                         simtest::SpeedName);
