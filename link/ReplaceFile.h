// Writing a whole file so that a failure never destroys what was there before.
#pragma once

#include <cstddef>
#include <string>

// Writes Size bytes to a new file beside Path, flushes it to the disk and renames it over
// Path. An existing file is replaced silently, keeping its permission bits; a target that is
// not a regular file, or that this process may not write, is refused. On any failure the
// temporary file is removed and an existing file stays as it was. Returns true on success.
bool ReplaceFile(const std::string& Path, const void* Data, std::size_t Size);
