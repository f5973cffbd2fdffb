#include "tests/win32/window_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <thread>

#include "platform/text_win32.h"
#include "ui/win32/status_bar_win32.h"
#include "ui/win32/window_win32.h"

namespace quib::test {

namespace {

// quib-server.exe, found from this test's own folder.
std::wstring ServerPath() {
  wchar_t name[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, name, MAX_PATH);
  std::wstring path(name, length);
  path.erase(path.find_last_of(L"\\/") + 1);
  for (const char* c = QUIB_SERVER_FROM_TESTS; *c != '\0'; ++c)
    path.push_back(*c == '/' ? L'\\' : *c);
  return path;
}

}  // namespace

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

Child::~Child() {
  if (process_ != nullptr) {
    ::TerminateProcess(process_, 99);
    ::CloseHandle(process_);
  }
  if (error_ != nullptr) ::CloseHandle(error_);
}

bool Child::Start(const std::wstring& args) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE write = nullptr;
  if (!::CreatePipe(&error_, &write, &inherit, 0)) return false;
  ::SetHandleInformation(error_, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdError = write;
  std::wstring command = L"\"" + ServerPath() + L"\" " + args;
  PROCESS_INFORMATION info{};
  const bool started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);
  ::CloseHandle(write);
  if (!started) return false;
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

std::optional<std::string> Child::WaitForError(const std::regex& pattern) {
  const auto deadline = Clock::now() + 20s;
  while (Clock::now() < deadline) {
    std::smatch match;
    if (std::regex_search(text_, match, pattern)) return match[1].str();
    DWORD waiting = 0;
    if (!::PeekNamedPipe(error_, nullptr, 0, nullptr, &waiting, nullptr)) return std::nullopt;
    if (waiting == 0) {
      std::this_thread::sleep_for(20ms);
      continue;
    }
    char chunk[512];
    DWORD n = 0;
    if (!::ReadFile(error_, chunk, sizeof chunk, &n, nullptr)) return std::nullopt;
    text_.append(chunk, n);
  }
  return std::nullopt;
}

HWND Child::FindWindowOf(const wchar_t* className, const wchar_t* caption) {
  const auto deadline = Clock::now() + 20s;
  while (Clock::now() < deadline) {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, className, caption); window != nullptr;
         window = ::FindWindowExW(nullptr, window, className, caption)) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(window, &owner);
      if (owner == id_ && ::IsWindowVisible(window)) return window;
    }
    std::this_thread::sleep_for(50ms);
  }
  return nullptr;
}

std::vector<HWND> Child::WindowsOf(const wchar_t* className) {
  std::vector<HWND> windows;
  for (HWND window = ::FindWindowExW(nullptr, nullptr, className, nullptr); window != nullptr;
       window = ::FindWindowExW(nullptr, window, className, nullptr)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == id_ && ::IsWindowVisible(window)) windows.push_back(window);
  }
  return windows;
}

std::optional<DWORD> Child::Wait(DWORD timeoutMs) {
  if (::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  ::CloseHandle(process_);
  process_ = nullptr;
  return code;
}

std::wstring Text(HWND window) {
  std::wstring text(static_cast<std::size_t>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1,
                    L'\0');
  text.resize(static_cast<std::size_t>(
      ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

RECT PlaceIn(HWND window, HWND parent) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::vector<std::string> ListLines(HWND list) {
  std::vector<std::string> lines;
  const auto count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring line(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1,
                      L'\0');
    line.resize(static_cast<std::size_t>(
        ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
    lines.emplace_back(line.begin(), line.end());  // the log is ASCII
  }
  return lines;
}

std::vector<COLORREF> ScreenPixels(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  std::vector<COLORREF> pixels;
  if (width <= 0 || height <= 0) return pixels;
  HDC screen = ::GetDC(nullptr);
  pixels.reserve(static_cast<std::size_t>(width * height));
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) pixels.push_back(::GetPixel(screen, x, y));
  }
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

void SaveScreenshot(HWND window, const char* path) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  const HGDIOBJ previous = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  ::SelectObject(memory, previous);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  std::vector<char> pixels(static_cast<std::size_t>((width * 3 + 3) / 4 * 4 * height));
  ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  if (std::FILE* out = std::fopen(path, "wb")) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
  }
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!::OpenClipboard(nullptr)) return text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(::GlobalLock(data));
    ::GlobalUnlock(data);
  }
  ::CloseClipboard();
  return text;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

void WindowTest::SetUp() {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
  ::SetProcessDPIAware();
  HDC screen = ::GetDC(nullptr);
  dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);

  // The fast cadence: ticks every 10 ms, accepts without waiting.
  ASSERT_TRUE(server.Start(L"--port 0 --tick 10 --accept-delay 0"));
  const auto listening = server.WaitForError(std::regex("listening on 127\\.0\\.0\\.1:([0-9]+)"));
  ASSERT_TRUE(listening) << "the server did not say it listens";
  port = std::stoi(*listening);
  window = server.FindWindowOf(kWindowClass, WideText(kFormCaption).c_str());
  ASSERT_NE(window, nullptr) << "no window \"" << kFormCaption << "\"";
}

namespace {

constexpr std::size_t kChars = 4096;  // of a text read from the program

// Memory in the program, for messages to its controls that carry pointers:
// the system copies memory between processes only for its own messages.
struct Remote {
  Remote(HANDLE process, std::size_t size)
      : Process(process),
        At(static_cast<char*>(
            ::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
  ~Remote() { ::VirtualFreeEx(Process, At, 0, MEM_RELEASE); }
  Remote(const Remote&) = delete;
  Remote& operator=(const Remote&) = delete;

  void Put(std::size_t offset, const void* data, std::size_t size) const {
    ::WriteProcessMemory(Process, At + offset, data, size, nullptr);
  }
  LPARAM Clear(std::size_t offset) const {
    const wchar_t none = L'\0';
    Put(offset, &none, sizeof none);
    return reinterpret_cast<LPARAM>(At + offset);
  }
  std::wstring Text(std::size_t offset) const {
    std::wstring text(kChars, L'\0');
    ::ReadProcessMemory(Process, At + offset, text.data(), kChars * sizeof(wchar_t), nullptr);
    text.resize(wcsnlen(text.c_str(), kChars));
    return text;
  }

  HANDLE Process;
  char* At;
};

}  // namespace

// While an outcome shows, every part of the bar gives it.
std::wstring WindowTest::Status() const {
  const Remote memory(server.Process(), kChars * sizeof(wchar_t));
  ::SendMessageW(::GetDlgItem(window, kStatusBarId), SB_GETTEXTW, 0, memory.Clear(0));
  return memory.Text(0);
}

bool WindowTest::OutcomeShows() const {
  return ::SendMessageW(::GetDlgItem(window, kStatusBarId), SB_ISSIMPLE, 0, 0) != FALSE;
}

std::vector<BarPart> WindowTest::StatusParts() const {
  HWND bar = ::GetDlgItem(window, kStatusBarId);
  const Remote memory(server.Process(), kChars * sizeof(wchar_t));
  std::vector<int> edges(static_cast<std::size_t>(::SendMessageW(bar, SB_GETPARTS, 0, 0)));
  ::SendMessageW(bar, SB_GETPARTS, edges.size(), reinterpret_cast<LPARAM>(memory.At));
  ::ReadProcessMemory(memory.Process, memory.At, edges.data(), edges.size() * sizeof(int), nullptr);
  RECT client{};
  ::GetClientRect(bar, &client);
  std::vector<BarPart> parts;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    ::SendMessageW(bar, SB_GETTEXTW, i, memory.Clear(0));
    parts.push_back(
        {memory.Text(0), i == 0 ? 0 : edges[i - 1], edges[i] < 0 ? client.right : edges[i]});
  }
  return parts;
}

std::wstring WindowTest::StatusTip() const {
  const Remote memory(server.Process(), sizeof(TOOLINFOW) + kChars * sizeof(wchar_t));
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = window;
  tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(window, kStatusBarId));
  tool.lpszText = reinterpret_cast<wchar_t*>(memory.At + sizeof tool);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  // The program's tooltips: the one that has the bar as its tool.
  for (HWND tip = ::FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); tip != nullptr;
       tip = ::FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(tip, &owner);
    if (owner != process) continue;
    memory.Put(0, &tool, sizeof tool);
    memory.Clear(sizeof tool);
    ::SendMessageW(tip, TTM_GETTEXTW, kChars, reinterpret_cast<LPARAM>(memory.At));
    if (std::wstring text = memory.Text(sizeof tool); !text.empty()) return text;
  }
  return {};
}

void WindowTest::TearDown() {
  if (window == nullptr) return;
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(server.Wait(), 0u) << "closing the window did not end the program";
}

}  // namespace quib::test
