// The operating system's part on Windows. Paths come in UTF-8 (the program
// takes its arguments, its own folder and the window's file dialogs that
// way); a path that is not UTF-8 is read in the ANSI code page (WideText).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/os_file.h"
#include "platform/text_win32.h"

namespace quib {

namespace {

// The system's message for an error, as a reason that ends a sentence of
// the server's own.
std::string SystemMessage(DWORD code) {
  std::string message = SystemErrorText(code);
  while (!message.empty() && message.back() == '.') message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// All zero when the system does not say.
FileIdentity IdentityOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info)) return {};
  return {info.dwVolumeSerialNumber,
          (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace

bool OutputFile::Create(const std::string& path, std::string& error) {
  std::string ignored;
  Close(ignored);
  const std::wstring wide = WideText(path);
  if (wide.empty()) {
    error = "not a file name";
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = "not a regular file";
    return false;
  }
  // Opened without truncating: a device or a pipe must be left as it was.
  // Reading its attributes tells its identity.
  const HANDLE file =
      ::CreateFileW(wide.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = SystemMessage(::GetLastError());
    return false;
  }
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    error = "not a regular file";
    ::CloseHandle(file);
    return false;
  }
  if (!::SetEndOfFile(file)) {
    error = SystemMessage(::GetLastError());
    ::CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  identity_ = IdentityOf(file);
  return true;
}

bool OutputFile::Truncate(std::uint64_t size) const {
  if (!IsOpen()) return false;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(AsHandle(handle_), at, nullptr, FILE_BEGIN) &&
         ::SetEndOfFile(AsHandle(handle_));
}

bool OutputFile::Close(std::string& error) {
  if (!IsOpen()) return true;
  const HANDLE file = AsHandle(handle_);
  handle_ = kClosed;
  if (::CloseHandle(file)) return true;
  error = SystemMessage(::GetLastError());
  return false;
}

namespace os {

ReadResult OpenForReading(const std::string& path, NativeFile& file, std::uint64_t& size) {
  const std::wstring wide = WideText(path);
  if (wide.empty()) return ReadResult::kUnreadable;
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ReadResult::kUnreadable;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ReadResult::kNotRegularFile;
  FileOwner opened(reinterpret_cast<NativeFile>(::CreateFileW(
      wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (opened.Get() == kNoFile) return ReadResult::kUnreadable;
  const HANDLE handle = AsHandle(opened.Get());
  // A device (CON, NUL, COM1) or a pipe is no file, whatever its name.
  if (::GetFileType(handle) != FILE_TYPE_DISK) return ReadResult::kNotRegularFile;
  LARGE_INTEGER bytes{};
  if (!::GetFileSizeEx(handle, &bytes)) return ReadResult::kUnreadable;
  size = static_cast<std::uint64_t>(bytes.QuadPart);
  file = opened.Release();
  return ReadResult::kRead;
}

std::int64_t ReadSome(NativeFile file, char* buffer, std::size_t count) {
  DWORD got = 0;
  const auto want = static_cast<DWORD>(std::min<std::size_t>(count, 1 << 20));
  if (!::ReadFile(AsHandle(file), buffer, want, &got, nullptr)) return -1;
  return got;
}

void CloseFile(NativeFile file) { ::CloseHandle(AsHandle(file)); }

bool IdentityAt(const std::string& path, FileIdentity& identity) {
  const std::wstring wide = WideText(path);
  if (wide.empty()) return false;
  // Attributes only: no sharing mode stands in the way of a file another
  // handle writes.
  const FileOwner opened(reinterpret_cast<NativeFile>(::CreateFileW(
      wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (opened.Get() == kNoFile) return false;
  identity = IdentityOf(AsHandle(opened.Get()));
  return identity != FileIdentity{};
}

bool WriteSome(NativeFile file, const std::uint8_t* bytes, std::size_t count, std::size_t& wrote,
               std::string& error) {
  const auto want = static_cast<DWORD>(std::min<std::size_t>(count, 1 << 20));
  DWORD n = 0;
  const bool written = ::WriteFile(AsHandle(file), bytes, want, &n, nullptr) && n > 0;
  if (!written) error = SystemMessage(::GetLastError());
  wrote = n;
  return written;
}

}  // namespace os

bool os::RenameOver(const std::string& from, const std::string& to, std::string& error) {
  if (::MoveFileExW(WideText(from).c_str(), WideText(to).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  error = SystemMessage(::GetLastError());
  return false;
}

bool RemoveFile(const std::string& path) {
  return ::DeleteFileW(WideText(path).c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool PathExists(const std::string& path) {
  return ::GetFileAttributesW(WideText(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ExecutableFolder() {
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    if (name.size() >= 32768) return {};
    name.resize(name.size() * 2);
  }
  while (!name.empty() && name.back() != L'\\' && name.back() != L'/') name.pop_back();
  return Utf8Text(std::wstring_view(name.data(), name.size()));
}

std::int64_t LocalMicrosecondsSinceMidnight() {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  const std::int64_t seconds = local.wHour * 3600 + local.wMinute * 60 + local.wSecond;
  return seconds * 1000000 + local.wMilliseconds * 1000;
}

std::chrono::steady_clock::time_point CoarseNow() { return std::chrono::steady_clock::now(); }

std::uint64_t ProcessId() { return ::GetCurrentProcessId(); }

Display FindDisplay(const EnvironmentLookup&) {
  // Without a display (Wine without X) no window can be made.
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return {Display::Kind::kNone, {}};
  ::DestroyWindow(probe);
  return {Display::Kind::kAvailable, {}};
}

}  // namespace quib
