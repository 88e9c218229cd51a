// Reads protocol bits out of serial bytes the way the chip does: the bytes become line levels
// (idle high, start bit low, data bits 0..7, stop bit high) and every low pulse is measured in
// bit times, one bit time being a 1 and two a 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TDecodedLine {
  std::vector<uint8_t> Bits;
  // Empty when every pulse had a valid width; otherwise where and how the line went wrong.
  std::string Fault;
};

TDecodedLine DecodeLine(const std::string& Bytes);
