// A download read back from the wire on the chip's terms, to check what the host sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

struct DecodedDownload {
  bool Complete = false;  // the mode, the count and that many image longs were all there
  uint32_t Mode = 0;
  uint32_t Count = 0;
  std::vector<uint32_t> Longs;
  std::string After;  // the bytes after the one that carried the last image bit
};

// Skips the handshake packet, then reads protocol bits from the widths of the low pulses (one
// bit time is 1, two are 0; any other width ends the decoding as incomplete).
DecodedDownload DecodeDownload(const std::string& Wire, std::size_t HandshakeBytes = 328);

std::vector<uint32_t> LongsOf(const std::vector<uint8_t>& Image);

}  // namespace simtest
