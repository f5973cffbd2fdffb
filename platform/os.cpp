// The operating system's part that is the same everywhere, over the
// primitives of os_posix.cpp and os_win32.cpp.
#include "platform/os.h"

#include "platform/os_file.h"

namespace quib {

ReadResult ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& text) {
  text.clear();
  os::NativeFile file = os::kNoFile;
  std::uint64_t size = 0;
  const ReadResult opened = os::OpenForReading(path, file, size);
  const os::FileOwner input(file);
  if (opened != ReadResult::kRead) return opened;
  if (size > maxBytes) return ReadResult::kTooLarge;

  // The size is only a hint: the file may grow while it is read, and some
  // (under /proc) say 0. Reading one byte past the limit tells a file that
  // ends there from one that goes on.
  std::string read;
  read.reserve(size);  // at most maxBytes
  char chunk[65536];
  for (;;) {
    const std::size_t room = maxBytes - read.size();
    const std::size_t want = room < sizeof chunk ? room + 1 : sizeof chunk;
    const std::int64_t got = os::ReadSome(input.Get(), chunk, want);
    if (got < 0) return ReadResult::kUnreadable;
    if (got == 0) break;
    if (static_cast<std::uint64_t>(got) > room) return ReadResult::kTooLarge;
    read.append(chunk, static_cast<std::size_t>(got));
  }
  text = std::move(read);
  return ReadResult::kRead;
}

bool OutputFile::Write(const std::uint8_t* bytes, std::size_t count, std::size_t& written,
                       std::string& error) const {
  written = 0;
  if (!IsOpen()) {
    error = "the file is not open";
    return false;
  }
  while (written < count) {
    std::size_t wrote = 0;
    const bool ok = os::WriteSome(handle_, bytes + written, count - written, wrote, error);
    written += wrote;
    if (!ok) return false;
  }
  return true;
}

bool OutputFile::AppendWhole(const std::uint8_t* bytes, std::size_t count, std::uint64_t& kept,
                             std::string& error) {
  std::size_t written = 0;
  if (Write(bytes, count, written, error)) {
    kept += written;
    return true;
  }
  Truncate(kept);
  std::string ignored;
  Close(ignored);
  return false;
}

bool OutputFile::IsFileAt(const std::string& path) const {
  FileIdentity there;
  return IsOpen() && identity_ != FileIdentity{} && os::IdentityAt(path, there) &&
         there == identity_;
}

bool ReplaceFileWith(const std::string& path, std::string_view text, std::string& error) {
  const std::string temporary = path + ".tmp";
  OutputFile file;
  std::size_t written = 0;
  const bool done =
      file.Create(temporary, error) &&
      file.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), written, error) &&
      file.Close(error) && os::RenameOver(temporary, path, error);
  if (!done) RemoveFile(temporary);
  return done;
}

OutputFile::~OutputFile() {
  std::string ignored;
  Close(ignored);
}

}  // namespace quib
