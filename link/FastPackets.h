// The fast loader's packets and their check: a header long and its complement, the data longs,
// the CRC-32 of header and data, each part followed by a pad byte (FastLoaderProgram.spin
// describes the frame). The chip answers each with its sequence number, + NakBit when the CRC
// failed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint8_t NakBit = 0x80;
inline constexpr uint8_t SequenceMask = 0x7F;
// The most data longs one packet carries.
inline constexpr std::size_t PacketLongsMost = 255;

// The commands' codes.
enum class TFastCommand : uint8_t {
  Run = 1,
  EepromShutdown = 2,
  EepromRun = 3,
  Start = 4,
  Read = 5,
  Clock = 6,
};

// The CRC-32 (reflected, polynomial $EDB88320) with its initial and final inversion.
uint32_t Crc32(std::string_view Bytes);

struct TFastPacket {
  uint32_t Head = 0;  // without its sequence number
  std::vector<uint32_t> Data;
};

TFastPacket DataPacket(uint16_t Address, std::vector<uint32_t> Data);
TFastPacket CommandPacket(TFastCommand Command, uint16_t Parameter);
// The packet on the wire with Sequence (0 to 127) in its header.
std::string PacketBytes(const TFastPacket& Packet, uint8_t Sequence);
// Bytes to RAM from Address on (a multiple of 4), in packets of Longs data longs; the last long
// is padded with zeros.
std::vector<TFastPacket> RamPackets(std::string_view Bytes, uint16_t Address, std::size_t Longs);
