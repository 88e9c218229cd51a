// Writing a whole file on Windows: a new file beside the target, flushed to the disk, then
// moved over the target in one step.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef ReplaceFile  // windows.h maps the name to its own ReplaceFileA

#include <string>

#include "link/ReplaceFile.h"

namespace {
constexpr int TemporaryNameAttempts = 100;

// A file of a name no one else uses beside Path; INVALID_HANDLE_VALUE when none can be made.
HANDLE CreateTemporary(const std::string& Path, std::string& TemporaryName) {
  for (int Attempt = 0; Attempt < TemporaryNameAttempts; ++Attempt) {
    TemporaryName = Path + ".qkl" + std::to_string(::GetCurrentProcessId()) + "-" +
                    std::to_string(Attempt) + ".tmp";
    const HANDLE File = ::CreateFileA(TemporaryName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return File;
  }
  return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE File, const void* Data, std::size_t Size) {
  DWORD Written = 0;
  return ::WriteFile(File, Data, static_cast<DWORD>(Size), &Written, nullptr) && Written == Size &&
         ::FlushFileBuffers(File);
}
}  // namespace

bool ReplaceFile(const std::string& Path, const void* Data, std::size_t Size) {
  const DWORD Existing = ::GetFileAttributesA(Path.c_str());
  if (Existing != INVALID_FILE_ATTRIBUTES &&
      (Existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
    return false;
  std::string TemporaryName;
  const HANDLE File = CreateTemporary(Path, TemporaryName);
  if (File == INVALID_HANDLE_VALUE) return false;
  const bool Written = WriteAll(File, Data, Size);
  const bool Closed = ::CloseHandle(File);
  if (!Written || !Closed ||
      !::MoveFileExA(TemporaryName.c_str(), Path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileA(TemporaryName.c_str());
    return false;
  }
  return true;
}
