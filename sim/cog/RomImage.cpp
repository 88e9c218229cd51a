#include "sim/cog/RomImage.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qkl::cog {

namespace {

constexpr uint32_t kHalfSize = 0x4000;

[[noreturn]] void Malformed(const std::filesystem::path& file, int line, const std::string& what) {
  throw std::runtime_error("ROM file " + file.string() + " line " + std::to_string(line) + ": " +
                           what);
}

std::vector<uint8_t> HexBytes(const std::string& text, const std::filesystem::path& file,
                              int line) {
  if (text.empty() || text[0] != ':' || text.size() % 2 == 0)
    Malformed(file, line, "not an Intel HEX record");
  std::vector<uint8_t> bytes;
  for (std::size_t i = 1; i + 1 < text.size(); i += 2) {
    const std::string pair = text.substr(i, 2);
    if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      Malformed(file, line, "bad hexadecimal digits '" + pair + "'");
    bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  }
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  if (bytes.size() < 5 || bytes[0] + 5u != bytes.size())
    Malformed(file, line, "record length does not match");
  if (sum != 0) Malformed(file, line, "checksum does not match");
  return bytes;
}

// Data records address longs from the file's base; each long is stored most significant
// byte first and lands in hub memory little-endian.
void LoadHalf(const std::filesystem::path& file, uint8_t* half) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot open ROM file " + file.string());
  std::vector<bool> filled(kHalfSize, false);
  std::string text;
  int line = 0;
  bool ended = false;
  while (!ended && std::getline(in, text)) {
    ++line;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty()) continue;
    const std::vector<uint8_t> record = HexBytes(text, file, line);
    const uint8_t type = record[3];
    if (type == 1) ended = true;
    if (type != 0) continue;
    const uint32_t count = record[0];
    const uint32_t firstLong = (uint32_t{record[1]} << 8) | record[2];
    if (count % 4 != 0 || (firstLong + count / 4) * 4 > kHalfSize)
      Malformed(file, line, "data outside the 16 KB half or not whole longs");
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t address = (firstLong + i / 4) * 4 + (3 - i % 4);
      half[address] = record[4 + i];
      filled[address] = true;
    }
  }
  if (!ended) Malformed(file, line, "no end-of-file record");
  for (uint32_t i = 0; i < kHalfSize; ++i)
    if (!filled[i]) Malformed(file, line, "does not cover the whole 16 KB half");
}

}  // namespace

RomBytes LoadRomImage(const std::filesystem::path& directory) {
  RomBytes rom{};
  LoadHalf(directory / "hub_rom_low.hex", rom.data());
  LoadHalf(directory / "hub_rom_high.hex", rom.data() + kHalfSize);
  return rom;
}

uint32_t UnscrambleRomLong(uint32_t stored) {
  static constexpr int kSourceBit[32] = {3,  7, 21, 12, 6,  19, 4,  17, 20, 15, 8,
                                         11, 0, 14, 30, 1,  23, 31, 16, 5,  9,  18,
                                         25, 2, 28, 22, 13, 27, 29, 24, 26, 10};
  uint32_t result = 0;
  for (int i = 0; i < 32; ++i) result |= ((stored >> kSourceBit[i]) & 1u) << (31 - i);
  return result;
}

}  // namespace qkl::cog
