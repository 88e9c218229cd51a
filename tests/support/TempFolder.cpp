#include "tests/support/TempFolder.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace simtest {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string Template = (fs::temp_directory_path() / "qkl-test-XXXXXX").string();
  if (!::mkdtemp(Template.data()))
    throw std::runtime_error("cannot make a temporary folder from " + Template);
  Folder = Template;
  // Open to other users as a folder made in the usual way is: some tests run programs as another
  // user.
  fs::permissions(Folder,
                  fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                      fs::perms::others_exec,
                  fs::perm_options::add);
}

TempFolder::~TempFolder() {
  std::error_code Ignored;
  // A folder a test closed to its owner could not be emptied otherwise.
  const auto OpenUp = [&](const fs::path& Path) {
    fs::permissions(Path, fs::perms::owner_all, fs::perm_options::add, Ignored);
  };
  OpenUp(Folder);
  for (fs::recursive_directory_iterator Entry(Folder, Ignored), End; Entry != End;
       Entry.increment(Ignored))
    if (Entry->is_directory(Ignored) && !Entry->is_symlink(Ignored)) OpenUp(Entry->path());
  fs::remove_all(Folder, Ignored);
}

std::string TempFolder::File(const std::string& Name) const { return (Folder / Name).string(); }

std::string TempFolder::Write(const std::string& Name, const std::vector<uint8_t>& Bytes) const {
  return Write(Name, std::string(Bytes.begin(), Bytes.end()));
}

std::string TempFolder::Write(const std::string& Name, const std::string& Text) const {
  const fs::path Path = Folder / Name;
  fs::create_directories(Path.parent_path());
  std::ofstream(Path, std::ios::binary) << Text;
  return Path.string();
}

void WriteFile(const std::string& Path, const std::vector<uint8_t>& Bytes) {
  std::ofstream(Path, std::ios::binary)
      .write(reinterpret_cast<const char*>(Bytes.data()), Bytes.size());
}

std::vector<uint8_t> FileBytes(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

}  // namespace simtest
