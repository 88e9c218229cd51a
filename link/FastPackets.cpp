#include "link/FastPackets.h"

#include <algorithm>

namespace {
constexpr uint32_t CommandBit = 0x80000000;
constexpr uint32_t CrcPolynomial = 0xEDB88320;
constexpr char Pad = '\xFF';

uint32_t CrcByte(uint32_t Crc, uint8_t Byte) {
  Crc ^= Byte;
  for (int Bit = 0; Bit < 8; ++Bit) Crc = (Crc & 1) ? (Crc >> 1) ^ CrcPolynomial : Crc >> 1;
  return Crc;
}

void AppendLong(std::string& Bytes, uint32_t Value) {
  for (int Shift = 0; Shift < 32; Shift += 8) Bytes.push_back(static_cast<char>(Value >> Shift));
}
}  // namespace

uint32_t Crc32(std::string_view Bytes) {
  uint32_t Crc = 0xFFFFFFFF;
  for (const char Byte : Bytes) Crc = CrcByte(Crc, static_cast<uint8_t>(Byte));
  return ~Crc;
}

TFastPacket DataPacket(uint16_t Address, std::vector<uint32_t> Data) {
  const auto Count = static_cast<uint32_t>(std::min(Data.size(), PacketLongsMost));
  return {Count << 16 | Address, std::move(Data)};
}

TFastPacket CommandPacket(TFastCommand Command, uint16_t Parameter) {
  return {CommandBit | static_cast<uint32_t>(Command) << 16 | Parameter, {}};
}

std::string PacketBytes(const TFastPacket& Packet, uint8_t Sequence) {
  const uint32_t Head = Packet.Head | static_cast<uint32_t>(Sequence & SequenceMask) << 24;
  std::string Checked;
  AppendLong(Checked, Head);
  for (const uint32_t Long : Packet.Data) AppendLong(Checked, Long);
  std::string Bytes;
  AppendLong(Bytes, Head);
  AppendLong(Bytes, ~Head);
  Bytes.push_back(Pad);
  if (!Packet.Data.empty()) {
    Bytes.append(Checked, 4);
    Bytes.push_back(Pad);
  }
  AppendLong(Bytes, Crc32(Checked));
  Bytes.push_back(Pad);
  return Bytes;
}

std::vector<TFastPacket> RamPackets(std::string_view Bytes, uint16_t Address, std::size_t Longs) {
  std::vector<TFastPacket> Packets;
  const std::size_t Total = (Bytes.size() + 3) / 4;
  for (std::size_t First = 0; First < Total; First += Longs) {
    std::vector<uint32_t> Data;
    for (std::size_t Index = First; Index < std::min(Total, First + Longs); ++Index) {
      uint32_t Value = 0;
      for (std::size_t Byte = 0; Byte < 4 && Index * 4 + Byte < Bytes.size(); ++Byte)
        Value |= static_cast<uint32_t>(static_cast<uint8_t>(Bytes[Index * 4 + Byte])) << (8 * Byte);
      Data.push_back(Value);
    }
    Packets.push_back(DataPacket(static_cast<uint16_t>(Address + First * 4), std::move(Data)));
  }
  return Packets;
}
