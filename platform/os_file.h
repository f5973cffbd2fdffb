// What each system supplies to the files of os.cpp: opening a regular file
// for reading without waiting on what its path names, reading and writing
// some bytes, the identity of the file a path names. The loops and the size
// bound are written once, in os.cpp. Only the platform folder's own sources
// include this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os.h"

namespace quib::os {

// A file opened for reading: a descriptor or a HANDLE.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

void CloseFile(NativeFile file);

// Renames `from` to `to`, replacing a file there. False with the reason.
bool RenameOver(const std::string& from, const std::string& to, std::string& error);

// Holds an open file and closes it when it goes, unless released.
class FileOwner {
 public:
  explicit FileOwner(NativeFile file = kNoFile) : file_(file) {}
  FileOwner(const FileOwner&) = delete;
  FileOwner& operator=(const FileOwner&) = delete;
  ~FileOwner() {
    if (file_ != kNoFile) CloseFile(file_);
  }
  NativeFile Get() const { return file_; }
  NativeFile Release() {
    const NativeFile file = file_;
    file_ = kNoFile;
    return file;
  }

 private:
  NativeFile file_;
};

// Opens the regular file at `path` for reading. kRead with `file` open and
// `size` its size as the system gave it (a hint: the file may grow, and some
// say 0), else why not, with nothing left open.
ReadResult OpenForReading(const std::string& path, NativeFile& file, std::uint64_t& size);
// Reads at most `count` bytes: how many came, 0 at the end, -1 on an error.
std::int64_t ReadSome(NativeFile file, char* buffer, std::size_t count);
// Writes at most `count` bytes, `wrote` says how many; false with the
// system's reason when none could be, or the system reports a failure.
bool WriteSome(NativeFile file, const std::uint8_t* bytes, std::size_t count, std::size_t& wrote,
               std::string& error);

// The identity of the file at `path`, links followed; false when nothing
// can be read there.
bool IdentityAt(const std::string& path, FileIdentity& identity);

}  // namespace quib::os
