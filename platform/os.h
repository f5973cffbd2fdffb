// The operating system's part, besides sockets: reading a regular file, the
// executable's folder, the time of day and whether a display can show a
// window. One header; os_posix.cpp and os_win32.cpp say how each system does it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace quib {

enum class ReadResult {
  kRead,            // `text` holds the whole file
  kUnreadable,      // missing, no permission, or a read error
  kNotRegularFile,  // a directory, device, FIFO, socket...
  kTooLarge,        // more than the allowed bytes
};

// Reads the regular file at `path` into `text`, at most `maxBytes` of it.
// Anything but a regular file is refused without waiting on it; `text` is
// left empty unless the result is kRead. Paths are UTF-8.
ReadResult ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& text);

// What tells one file from another under any of its names (a link, another
// spelling of its path): the device and the inode, or on Windows the volume's
// serial number and the file index. All zero: not known.
struct FileIdentity {
  std::uint64_t Volume = 0;
  std::uint64_t Index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// A regular file written from its start: what a capture goes into. Opening
// never waits on what the path names (a FIFO without a reader, a device).
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the file at `path`, or empties the regular file there. Anything
  // else is refused, "not a regular file", and left as it was. False with
  // the reason in `error`.
  bool Create(const std::string& path, std::string& error);
  bool IsOpen() const { return handle_ != kClosed; }
  // True when `path` names the open file, by whatever name: creating it
  // again would empty what was written.
  bool IsFileAt(const std::string& path) const;
  // Writes `count` bytes at the end. False with the reason in `error` when
  // fewer went out; `written` says how many did.
  bool Write(const std::uint8_t* bytes, std::size_t count, std::size_t& written,
             std::string& error) const;
  // Cuts the file back to its first `size` bytes.
  bool Truncate(std::uint64_t size) const;
  // Writes `count` bytes at the end as one whole (blocks, lines) after the
  // file's first `kept` bytes, which are whole: `kept` grows by them. When
  // fewer go out, the file is cut back to its `kept` bytes and closed, so
  // that it ends on the last whole one; false then, with the reason.
  bool AppendWhole(const std::uint8_t* bytes, std::size_t count, std::uint64_t& kept,
                   std::string& error);
  // False with the reason when the system reports a failure on closing.
  bool Close(std::string& error);
  void Swap(OutputFile& other) noexcept {
    std::swap(handle_, other.handle_);
    std::swap(identity_, other.identity_);
  }

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // a descriptor, or a HANDLE
  FileIdentity identity_;           // of the open file, read when it was created
};

// Puts `text` at `path` at once: written beside it as PATH.tmp, then renamed
// over it, so that a reader finds no file there or all of it. False with the
// reason in `error`; PATH.tmp is not left behind.
bool ReplaceFileWith(const std::string& path, std::string_view text, std::string& error);
// Removes the file at `path`, if there is one; false when one stays.
bool RemoveFile(const std::string& path);

// True when anything is at `path`: a file, a folder, a device.
bool PathExists(const std::string& path);

// The folder of the running executable, ending in its separator; empty when
// it cannot be found. Not the current directory: the program may be started
// from anywhere, or by a double click.
std::string ExecutableFolder();

// Local time since midnight in microseconds.
std::int64_t LocalMicrosecondsSinceMidnight();

// The steady clock's time, at most a few milliseconds behind it: for a
// time shown in tenths of a second, read on every send. Cheaper than the
// clock itself where the system keeps such a time.
std::chrono::steady_clock::time_point CoarseNow();

// The running process's id, as the system's tools show it.
std::uint64_t ProcessId();

// Reads one environment variable; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// Whether a window can be shown, and if not, why.
struct Display {
  enum class Kind {
    kAvailable,
    kNone,         // no display at all
    kUnreachable,  // a display is named but does not answer
  } State = Kind::kNone;
  std::string Name;  // the display named, for kUnreachable
};

// Linux: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM set, a local X display
// that answers its socket (a display on another host, Wayland and an explicit
// platform are left to the toolkit). Windows: a window can be made (Wine
// without X has none). `lookup` reads the environment.
Display FindDisplay(const EnvironmentLookup& lookup);

}  // namespace quib
