// What each system supplies to the regular-file reading of os.cpp: opening a
// regular file for reading without waiting on what its path names, and
// reading from it. The loop and its size bound are written once, in os.cpp.
// Only the platform folder's own sources include this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os.h"

namespace quib::os {

// A file opened for reading: a descriptor or a HANDLE.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

// Opens the regular file at `path` for reading. kRead with `file` open and
// `size` its size as the system gave it (a hint: the file may grow, and some
// say 0), else why not, with nothing left open.
ReadResult OpenForReading(const std::string& path, NativeFile& file, std::uint64_t& size);
// Reads at most `count` bytes: how many came, 0 at the end, -1 on an error.
std::int64_t ReadSome(NativeFile file, char* buffer, std::size_t count);
void CloseFile(NativeFile file);

}  // namespace quib::os
