// The operating system's part on Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/os.h"
#include "platform/os_file.h"

namespace quib {

namespace {

// Connects to a local stream socket; `abstract` puts the name in the abstract
// namespace, where X servers also listen.
bool Answers(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  ::close(fd);
  return connected;
}

// For a display on this machine (":N", ":N.S", "unix:N"): true when its
// socket accepts a connection. A display on another host is not probed and
// counts as reachable; the toolkit will say if it is not.
bool X11DisplayReachable(const std::string& display) {
  const auto colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  if (!host.empty() && host != "unix") return true;
  const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  const std::string path = "/tmp/.X11-unix/X" + number;
  return Answers(path, true) || Answers(path, false);
}

FileIdentity IdentityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

bool IsSet(const EnvironmentLookup& lookup, const char* name) {
  const char* value = lookup(name);
  return value != nullptr && value[0] != '\0';
}

}  // namespace

namespace os {

ReadResult OpenForReading(const std::string& path, NativeFile& file, std::uint64_t& size) {
  // Look before opening: opening a device may already do something (rewind a
  // tape, take a terminal). O_NONBLOCK keeps a FIFO without a writer from
  // holding up the open; fstat then checks what was really opened, in case
  // the name was swapped in between.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return ReadResult::kUnreadable;
  if (!S_ISREG(info.st_mode)) return ReadResult::kNotRegularFile;
  FileOwner opened(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (opened.Get() < 0) return ReadResult::kUnreadable;
  const int fd = static_cast<int>(opened.Get());
  if (::fstat(fd, &info) != 0) return ReadResult::kUnreadable;
  if (!S_ISREG(info.st_mode)) return ReadResult::kNotRegularFile;
  size = static_cast<std::uint64_t>(info.st_size);
  file = opened.Release();
  return ReadResult::kRead;
}

std::int64_t ReadSome(NativeFile file, char* buffer, std::size_t count) {
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(file), buffer, count);
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

void CloseFile(NativeFile file) { ::close(static_cast<int>(file)); }

bool IdentityAt(const std::string& path, FileIdentity& identity) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  identity = IdentityOf(info);
  return true;
}

bool WriteSome(NativeFile file, const std::uint8_t* bytes, std::size_t count, std::size_t& wrote,
               std::string& error) {
  wrote = 0;
  for (;;) {
    const ssize_t n = ::write(static_cast<int>(file), bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? std::strerror(errno) : "nothing was written";
      return false;
    }
    wrote = static_cast<std::size_t>(n);
    return true;
  }
}

}  // namespace os

bool OutputFile::Create(const std::string& path, std::string& error) {
  std::string ignored;
  Close(ignored);
  // O_NONBLOCK: a FIFO without a reader fails at once instead of waiting for
  // one. Nothing is truncated before fstat has said it is a regular file.
  struct stat info {};
  const bool exists = ::stat(path.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    error = "not a regular file";
    return false;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = "not a regular file";
    ::close(fd);
    return false;
  }
  if (::ftruncate(fd, 0) != 0) {
    error = std::strerror(errno);
    ::close(fd);
    return false;
  }
  handle_ = fd;
  identity_ = IdentityOf(info);
  return true;
}

bool OutputFile::Truncate(std::uint64_t size) const {
  return IsOpen() && ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0;
}

bool OutputFile::Close(std::string& error) {
  if (!IsOpen()) return true;
  const int fd = static_cast<int>(handle_);
  handle_ = kClosed;
  if (::close(fd) == 0) return true;
  error = std::strerror(errno);
  return false;
}

bool os::RenameOver(const std::string& from, const std::string& to, std::string& error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  error = std::strerror(errno);
  return false;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || executable.empty()) return {};
  std::string folder = executable.parent_path().string();
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

std::int64_t LocalMicrosecondsSinceMidnight() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  const std::int64_t seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  return seconds * 1000000 + now.tv_nsec / 1000;
}

std::chrono::steady_clock::time_point CoarseNow() {
  // The steady clock's own base, as the system's tick last set it.
  timespec now{};
  if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) != 0) return std::chrono::steady_clock::now();
  return std::chrono::steady_clock::time_point(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec)));
}

std::uint64_t ProcessId() { return static_cast<std::uint64_t>(::getpid()); }

Display FindDisplay(const EnvironmentLookup& lookup) {
  if (!IsSet(lookup, "DISPLAY") && !IsSet(lookup, "WAYLAND_DISPLAY") &&
      !IsSet(lookup, "QT_QPA_PLATFORM")) {
    return {Display::Kind::kNone, {}};
  }
  // Wayland and an explicit platform are left to the toolkit.
  if (IsSet(lookup, "WAYLAND_DISPLAY") || IsSet(lookup, "QT_QPA_PLATFORM")) {
    return {Display::Kind::kAvailable, {}};
  }
  const std::string display = lookup("DISPLAY");
  if (X11DisplayReachable(display)) return {Display::Kind::kAvailable, display};
  return {Display::Kind::kUnreachable, display};
}

}  // namespace quib
