// The fast loader's channel against a scripted chip in virtual time: the window of packets, a
// refused packet sent again, and a silence that steps down to the next rate, where the packets
// in flight go again; the silent packet's answer comes late, during the attempt at that rate.
#include <gtest/gtest.h>

#include <map>

#include "ScriptedPeer.h"
#include "link/FastChannel.h"

namespace {

constexpr std::size_t PacketLongs = 3;  // packet addresses 0, 12, 24...: none begins with $80
constexpr std::size_t Packets = 10;

uint32_t TakeLong(TScriptedPeer& Chip) {
  uint32_t Value = 0;
  for (int Shift = 0; Shift < 32; Shift += 8)
    Value |= static_cast<uint32_t>(Chip.ReadByte()) << Shift;
  return Value;
}

struct TTaken {
  uint32_t Head = 0;
  std::vector<uint32_t> Data;
  bool Whole = false;  // the complement, the pads and the CRC as they should be
};

TTaken TakePacket(TScriptedPeer& Chip) {
  TTaken Packet;
  Packet.Head = TakeLong(Chip);
  Packet.Whole = TakeLong(Chip) == ~Packet.Head && Chip.ReadByte() == 0xFF;
  std::string Checked(reinterpret_cast<const char*>(&Packet.Head), 4);
  const uint32_t Count = Packet.Head >> 31 ? 0 : Packet.Head >> 16 & 0xFF;
  for (uint32_t Index = 0; Index < Count; ++Index) {
    Packet.Data.push_back(TakeLong(Chip));
    Checked.append(reinterpret_cast<const char*>(&Packet.Data.back()), 4);
  }
  if (Count > 0) Packet.Whole = Chip.ReadByte() == 0xFF && Packet.Whole;
  Packet.Whole = TakeLong(Chip) == Crc32(Checked) && Chip.ReadByte() == 0xFF && Packet.Whole;
  return Packet;
}

void Answer(TScriptedPeer& Chip, const TTaken& Packet, bool Good) {
  Chip.Send(std::string(1, static_cast<char>((Packet.Head >> 24 & 0x7F) | (Good ? 0 : 0x80))));
}

// An attempt: the calibration bytes and the check packet, acknowledged.
void TakeAttempt(TScriptedPeer& Chip) {
  EXPECT_EQ(Chip.ReadByte(), 0x80);
  EXPECT_EQ(Chip.ReadByte(), 0xFF);
  const TTaken Check = TakePacket(Chip);
  EXPECT_TRUE(Check.Whole && Check.Data.empty());
  Answer(Chip, Check, true);
}

TEST(FastChannel, ResendsARefusedPacketAndStepsDownAfterASilenceWhoseLateAnswerItPassesOver) {
  TScriptedPeer Chip;
  TLinkSession Session(Chip.Port());
  std::map<uint32_t, std::vector<uint32_t>> Stored;  // what each address got, good packets only
  std::map<uint32_t, int> Sent;                      // how often each packet came
  uint32_t RateAfterSilence = 0;
  int AttemptsAfterSilence = 0;
  Chip.Start([&](TScriptedPeer& P) {
    TakeAttempt(P);
    bool Refused = false;
    bool Silent = false;
    TTaken Late;
    while (Stored.size() < Packets) {
      if (P.PeekByte() == 0x80) {
        if (RateAfterSilence == 0) Answer(P, Late, true);
        RateAfterSilence = P.VirtualLine().Baud();
        ++AttemptsAfterSilence;
        TakeAttempt(P);
        continue;
      }
      const TTaken Packet = TakePacket(P);
      const uint32_t Address = Packet.Head & 0xFFFF;
      ++Sent[Address];
      EXPECT_TRUE(Packet.Whole);
      if (Address == 2 * PacketLongs * 4 && !Refused) {
        Refused = true;
        Answer(P, Packet, false);
      } else if (Address == 5 * PacketLongs * 4 && !Silent) {
        Silent = true;  // this one and those after it until the next attempt go unanswered
        Late = Packet;
      } else if (!Silent || RateAfterSilence != 0) {
        Stored[Address] = Packet.Data;
        Answer(P, Packet, true);
      }
    }
  });
  ASSERT_TRUE(Session.Open(Chip.PortName(), 115200).Ok());
  TFastChannel Channel(Session, nullptr);
  ASSERT_TRUE(Channel.Agree({921600, 460800}, 0));
  std::vector<TFastPacket> Sending;
  for (uint32_t Index = 0; Index < Packets; ++Index)
    Sending.push_back(
        DataPacket(static_cast<uint16_t>(Index * PacketLongs * 4), {Index, Index * 7, Index * 13}));
  EXPECT_TRUE(Channel.Transfer(Sending));
  Session.Close();
  EXPECT_EQ(Chip.Finish(), "");
  EXPECT_EQ(Channel.Rate(), 460800u);
  EXPECT_EQ(RateAfterSilence, 460800u);
  EXPECT_EQ(AttemptsAfterSilence, 1) << "the late answer failed the attempt";
  for (const TFastPacket& Packet : Sending)
    EXPECT_EQ(Stored[Packet.Head & 0xFFFF], Packet.Data) << "at " << (Packet.Head & 0xFFFF);
  // The refused packet went again after the window; that resend fell into the silence too.
  EXPECT_EQ(Sent[2 * PacketLongs * 4], 3);
  EXPECT_EQ(Sent[5 * PacketLongs * 4], 2);
}

}  // namespace
