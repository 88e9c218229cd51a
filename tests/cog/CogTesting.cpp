#include "tests/cog/CogTesting.h"

namespace qkl::cog::testing {

void CogFixture::WriteLongs(uint32_t address, const std::vector<uint32_t>& longs) {
  for (std::size_t i = 0; i < longs.size(); ++i)
    chip.Memory().WriteLong(address + 4 * static_cast<uint32_t>(i), longs[i]);
}

void CogFixture::Start(uint32_t cog, const std::vector<uint32_t>& image, uint32_t par) {
  const uint32_t address = kImageAddress + 0x800 * cog;
  WriteLongs(address, image);
  chip.StartCog(cog, address, par);
}

void CogFixture::RunFor(uint64_t cycles) {
  const uint64_t until = chip.Cycle() + cycles;
  while (chip.Run(until, 0) == RunStop::kClockChanged) {
  }
}

std::vector<uint32_t> Image(std::vector<uint32_t> code, std::size_t size) {
  if (code.size() < size) code.resize(size, 0);
  return code;
}

}  // namespace qkl::cog::testing
