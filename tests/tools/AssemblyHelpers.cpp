#include "tests/tools/AssemblyHelpers.h"

#include <gtest/gtest.h>

namespace qkl::pasm::testing {

std::vector<std::uint32_t> cogLongs(const std::string& source) {
  Assembly assembly = assemble(source);
  for (const Diagnostic& error : assembly.errors) {
    ADD_FAILURE() << error.line << ":" << error.column << ": " << error.message;
  }
  std::vector<std::uint32_t> longs;
  for (std::size_t i = 0; i + 3 < assembly.cogCode.size(); i += 4) {
    const std::uint8_t* b = &assembly.cogCode[i];
    longs.push_back(b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24);
  }
  return longs;
}

std::uint32_t encode(const std::string& line) {
  std::vector<std::uint32_t> longs = cogLongs("DAT org 0\n " + line + "\n");
  EXPECT_EQ(longs.size(), 1u) << line;
  return longs.empty() ? 0xDEADBEEF : longs[0];
}

std::vector<std::string> errorsOf(const std::string& source) {
  std::vector<std::string> texts;
  for (const Diagnostic& error : assemble(source).errors) {
    texts.push_back(std::to_string(error.line) + ":" + std::to_string(error.column) + ": " +
                    error.message);
  }
  return texts;
}

}  // namespace qkl::pasm::testing
