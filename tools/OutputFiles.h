#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qkl::pasm {

// C++ header text that embeds `bytes` as `inline constexpr unsigned char <symbol>[]`.
std::string embeddingHeader(const std::vector<std::uint8_t>& bytes, const std::string& symbol,
                            const std::string& sourceName);

// True when `symbol` can name a C++ variable.
bool isIdentifier(const std::string& symbol);

struct OutputFile {
  std::string path;
  std::string contents;
};

// Writes every file to a temporary name beside it, then renames them all into place, so that a
// failure leaves no partial or missing-half output. Returns an empty text, or what went wrong.
std::string writeFiles(const std::vector<OutputFile>& files);

}  // namespace qkl::pasm
