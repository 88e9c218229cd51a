#include "tests/tools/BootImage.h"

namespace qkl::pasm::testing {

void bootImage(cog::Chip& chip, const std::vector<std::uint8_t>& image) {
  for (std::uint32_t address = 0; address < 0x8000; ++address) {
    chip.Memory().WriteByte(address, address < image.size() ? image[address] : 0);
  }
  std::uint32_t dbase = image[10] | image[11] << 8;
  chip.Memory().WriteLong(dbase - 8, 0xFFF9FFFF);
  chip.Memory().WriteLong(dbase - 4, 0xFFF9FFFF);
  chip.LaunchImage();
}

}  // namespace qkl::pasm::testing
