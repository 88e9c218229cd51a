// What the host sent, read back from the wire on the chip's terms: serial bytes become line
// levels (idle high, start bit low, data bits 0..7, stop bit high) and every low pulse is
// measured in bit times, one bit time being a 1 and two a 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

struct TDecodedLine {
  std::vector<uint8_t> Bits;
  // Empty when every pulse had a valid width; otherwise where and how the line went wrong.
  std::string Fault;
};

TDecodedLine DecodeLine(const std::string& Bytes);

struct DecodedDownload {
  bool Complete = false;  // the mode, the count and that many image longs were all there
  uint32_t Mode = 0;
  uint32_t Count = 0;
  std::vector<uint32_t> Longs;
  std::string After;  // the bytes after the one that carried the last image bit
};

// Skips the handshake packet, then reads the download's longs; a pulse of another width ends
// the decoding as incomplete.
DecodedDownload DecodeDownload(const std::string& Wire, std::size_t HandshakeBytes = 328);

std::vector<uint32_t> LongsOf(const std::vector<uint8_t>& Image);

}  // namespace simtest
