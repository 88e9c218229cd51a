#include "link/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace {
constexpr int TemporaryNameAttempts = 100;
constexpr mode_t NewFileMode = 0666;  // narrowed by the umask, as for any new file

// Writes follow a symbolic link, as an open of the target for writing would.
std::string ResolvedTarget(const std::string& Path) {
  std::unique_ptr<char, decltype(&std::free)> Real(realpath(Path.c_str(), nullptr), &std::free);
  return Real ? std::string(Real.get()) : Path;
}

std::string DirectoryOf(const std::string& Path) {
  const auto Slash = Path.find_last_of('/');
  if (Slash == std::string::npos) return ".";
  return Slash == 0 ? "/" : Path.substr(0, Slash);
}

bool WriteAll(int Fd, const void* Data, std::size_t Size) {
  const auto* Bytes = static_cast<const unsigned char*>(Data);
  while (Size > 0) {
    const ssize_t Written = write(Fd, Bytes, Size);
    if (Written < 0 && errno == EINTR) continue;
    if (Written <= 0) return false;
    Bytes += Written;
    Size -= static_cast<std::size_t>(Written);
  }
  return true;
}

// Creates a file of a short name no one else uses in Directory (short, so that a target name
// close to the length limit of a name still gets its companion).
int CreateTemporary(const std::string& Directory, std::string& TemporaryName) {
  for (int Attempt = 0; Attempt < TemporaryNameAttempts; ++Attempt) {
    TemporaryName =
        Directory + "/.qkl" + std::to_string(getpid()) + "-" + std::to_string(Attempt) + ".tmp";
    const int Fd =
        open(TemporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NewFileMode);
    if (Fd >= 0 || errno != EEXIST) return Fd;
  }
  return -1;
}

// The rename is only durable once the directory entry has reached the disk too. Some file
// systems cannot sync a directory; the data itself is already safe then.
void SyncDirectory(const std::string& Directory) {
  const int Fd = open(Directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) return;
  fsync(Fd);
  close(Fd);
}

bool WriteTemporary(int Fd, const void* Data, std::size_t Size, const struct stat* Existing) {
  if (Existing && fchmod(Fd, Existing->st_mode & 07777) != 0) return false;
  return WriteAll(Fd, Data, Size) && fsync(Fd) == 0;
}
}  // namespace

bool ReplaceFile(const std::string& Path, const void* Data, std::size_t Size) {
  const std::string Target = ResolvedTarget(Path);
  struct stat Existing {};
  const bool Exists = stat(Target.c_str(), &Existing) == 0;
  if (Exists && (!S_ISREG(Existing.st_mode) || access(Target.c_str(), W_OK) != 0)) return false;

  const std::string Directory = DirectoryOf(Target);
  std::string TemporaryName;
  const int Fd = CreateTemporary(Directory, TemporaryName);
  if (Fd < 0) return false;
  const bool Written = WriteTemporary(Fd, Data, Size, Exists ? &Existing : nullptr);
  const bool Closed = close(Fd) == 0;
  if (!Written || !Closed || rename(TemporaryName.c_str(), Target.c_str()) != 0) {
    unlink(TemporaryName.c_str());
    return false;
  }
  SyncDirectory(Directory);
  return true;
}
