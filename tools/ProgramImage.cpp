#include "tools/ProgramImage.h"

#include <algorithm>
#include <array>

namespace qkl::pasm {
namespace {

constexpr std::uint16_t kPbase = 0x0010;
constexpr std::uint16_t kObjectHeaderBytes =
    8;  // length word, method count, object count, one method entry
constexpr std::array<std::uint8_t, 4> kStackMarker = {0xFF, 0xFF, 0xF9, 0xFF};

// cognew(@entry, 0) as a statement, then RETURN: push -1 (any free cog), push the address pbase +
// 8, push 0 (PAR), COGINIT without a result, RETURN; padded to a long.
constexpr std::array<std::uint8_t, 8> kLauncher = {0x34, 0xC7, kObjectHeaderBytes, 0x35, 0x2C, 0x32,
                                                   0x00, 0x00};

void putWord(std::vector<std::uint8_t>& image, std::size_t offset, std::uint32_t value) {
  image[offset] = static_cast<std::uint8_t>(value);
  image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t word(const std::vector<std::uint8_t>& image, std::size_t offset) {
  return static_cast<std::uint16_t>(image[offset] | image[offset + 1] << 8);
}

}  // namespace

std::vector<std::uint8_t> buildProgramImage(const std::vector<std::uint8_t>& cogCode,
                                            ClockSettings clock) {
  std::size_t datBytes = (cogCode.size() + 3) & ~std::size_t{3};
  std::size_t methodOffset = kObjectHeaderBytes + datBytes;
  std::size_t objectBytes = methodOffset + kLauncher.size();
  std::uint32_t vbase = kPbase + static_cast<std::uint32_t>(objectBytes);
  std::uint32_t dbase = vbase + 8;

  std::vector<std::uint8_t> image(vbase, 0);
  putWord(image, 0, clock.clkfreq);
  putWord(image, 2, clock.clkfreq >> 16);
  image[4] = clock.clkmode;
  putWord(image, 6, kPbase);
  putWord(image, 8, vbase);
  putWord(image, 10, dbase);
  putWord(image, 12, kPbase + methodOffset);
  putWord(image, 14, dbase + 4);  // the RESULT long of the method; no parameters, no locals

  putWord(image, kPbase, static_cast<std::uint32_t>(objectBytes));
  image[kPbase + 2] = 2;  // the sub-object table starts behind one method entry
  image[kPbase + 3] = 0;  // no sub-objects
  putWord(image, kPbase + 4, static_cast<std::uint32_t>(methodOffset));
  putWord(image, kPbase + 6, 0);  // no local variables

  std::copy(cogCode.begin(), cogCode.end(), image.begin() + kPbase + kObjectHeaderBytes);
  std::copy(kLauncher.begin(), kLauncher.end(), image.begin() + kPbase + methodOffset);
  image[5] = static_cast<std::uint8_t>(0x100 - imageChecksum(image));
  return image;
}

std::uint8_t imageChecksum(const std::vector<std::uint8_t>& image) {
  std::size_t dbase = word(image, 10);
  std::vector<std::uint8_t> loaded(image.begin(),
                                   image.begin() + std::min(image.size(), dbase - 8));
  loaded.resize(dbase - 8, 0);  // the variable area is zero when the program starts
  for (int marker = 0; marker < 2; ++marker)
    loaded.insert(loaded.end(), kStackMarker.begin(), kStackMarker.end());
  std::uint8_t sum = 0;
  for (std::uint8_t byte : loaded) sum = static_cast<std::uint8_t>(sum + byte);
  return sum;
}

}  // namespace qkl::pasm
