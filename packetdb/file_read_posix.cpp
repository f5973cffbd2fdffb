// ReadRegularFile for POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "packetdb/text_utils.h"

namespace quib {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

ReadResult ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& text) {
  text.clear();
  // Look before opening: opening a device may already do something (rewind a
  // tape, take a terminal). O_NONBLOCK keeps a FIFO without a writer from
  // holding up the open; fstat then checks what was really opened, in case
  // the name was swapped in between.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return ReadResult::kUnreadable;
  if (!S_ISREG(info.st_mode)) return ReadResult::kNotRegularFile;
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.Get() < 0) return ReadResult::kUnreadable;
  if (::fstat(file.Get(), &info) != 0) return ReadResult::kUnreadable;
  if (!S_ISREG(info.st_mode)) return ReadResult::kNotRegularFile;
  if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) return ReadResult::kTooLarge;

  // The size is only a hint: the file may grow while it is read, and some
  // (under /proc) say 0. Reading one byte past the limit tells a file that
  // ends there from one that goes on.
  std::string read;
  read.reserve(static_cast<std::size_t>(info.st_size));
  char chunk[65536];
  for (;;) {
    const std::size_t room = maxBytes - read.size();
    const std::size_t want = room < sizeof chunk ? room + 1 : sizeof chunk;
    const ssize_t got = ::read(file.Get(), chunk, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ReadResult::kUnreadable;
    if (got == 0) break;
    if (static_cast<std::size_t>(got) > room) return ReadResult::kTooLarge;
    read.append(chunk, static_cast<std::size_t>(got));
  }
  text = std::move(read);
  return ReadResult::kRead;
}

}  // namespace quib
