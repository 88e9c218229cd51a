// A fresh folder for a test's files, and the plain file reads and writes the tests share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace simtest {

// A new folder below the system's temporary folder, unique to this object; removed with
// everything in it (even what a test made unwritable) when the object goes.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Root() const { return Folder; }
  // The path of Name in the folder, whether or not it exists.
  std::string File(const std::string& Name) const;
  // Writes the file, making the folders on its way; returns its path.
  std::string Write(const std::string& Name, const std::vector<uint8_t>& Bytes) const;
  std::string Write(const std::string& Name, const std::string& Text) const;

private:
  std::filesystem::path Folder;
};

void WriteFile(const std::string& Path, const std::vector<uint8_t>& Bytes);
// The whole file; empty when it cannot be read.
std::vector<uint8_t> FileBytes(const std::string& Path);

}  // namespace simtest
