// The Windows program's window as another program sees it: quib-server.exe is
// started, its window found by class and caption, and its controls read and
// driven with window messages. Needs a display (under Wine: Xvfb and a Wine
// session started with it).
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_support.h"
#include "ui/win32/log_menu_win32.h"
#include "ui/win32/window_win32.h"

namespace quib {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

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

// A quib-server.exe child with its standard error on a pipe.
class Child {
 public:
  ~Child() {
    if (process_ != nullptr) {
      ::TerminateProcess(process_, 99);
      ::CloseHandle(process_);
    }
    if (error_ != nullptr) ::CloseHandle(error_);
  }

  bool Start(const std::wstring& args) {
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
    const bool started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &startup, &info);
    ::CloseHandle(write);
    if (!started) return false;
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
  }

  // Standard error until it holds `pattern`'s first group, or nullopt.
  std::optional<std::string> WaitForError(const std::regex& pattern) {
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

  // The top-level window of this process with `className` and `caption`.
  HWND FindWindowOf(const wchar_t* className, const wchar_t* caption) {
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

  std::optional<DWORD> Wait(DWORD timeoutMs = 10000) {
    if (::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    ::CloseHandle(process_);
    process_ = nullptr;
    return code;
  }

 private:
  HANDLE process_ = nullptr;
  HANDLE error_ = nullptr;
  DWORD id_ = 0;
  std::string text_;
};

// A control's text as its own window procedure gives it (GetWindowText would
// give another process only the caption it was created with).
std::wstring Text(HWND window) {
  std::wstring text(static_cast<std::size_t>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1,
                    L'\0');
  text.resize(static_cast<std::size_t>(
      ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

// `window`'s place in the client area of `parent`.
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

// The window as the screen shows it, to a .bmp file: for people, not asserted.
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

bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = Clock::now() + 5s;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
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
    window = server.FindWindowOf(kWindowClass, L"Quib-Server");
    ASSERT_NE(window, nullptr) << "no window \"Quib-Server\"";
  }

  void TearDown() override {
    if (window == nullptr) return;
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(server.Wait(), 0u) << "closing the window did not end the program";
  }

  int Px(int twips) const { return ::MulDiv(twips, dpi, 1440); }
  HWND Control(ControlId id) const { return ::GetDlgItem(window, id); }

  Child server;
  int dpi = 96;
  int port = 0;
  HWND window = nullptr;
};

TEST_F(WindowTest, EveryControlStandsWhereTheFormPutsIt) {
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, Px(7635));
  EXPECT_EQ(client.bottom, Px(4830));

  struct Expected {
    ControlId Id;
    const wchar_t* Text;
    int Left, Top, Width, Height;
    bool InFrame;
    bool Visible;
  };
  const Expected controls[] = {
      {kCheck1, L"Hide Unknown Packets", 5040, 4515, 2535, 195, false, true},
      {kCommand2, L"Clear Log", 2835, 4515, 1065, 225, false, true},
      {kFrame1, L"Specifics", 105, 105, 2640, 1800, false, true},
      {kCommand4, L"Force Map Reload", 840, 1365, 1590, 330, true, true},
      {kOption1Male, L"Male", 1680, 945, 855, 225, true, true},
      {kOption1Female, L"Female", 735, 945, 855, 225, true, true},
      {kText2, L"prontera.gat", 735, 630, 1065, 285, true, true},
      {kCommand3, L"Warp", 1890, 315, 540, 330, true, true},
      {kPos1, L"170", 1365, 315, 435, 285, true, true},
      {kPos0, L"150", 735, 315, 435, 285, true, true},
      {kLabel3, L"Gender:", 105, 945, 645, 225, true, true},
      {kLabel2, L"Map:", 105, 630, 435, 225, true, true},
      {kLabel1, L"Position:           x", 105, 315, 1170, 195, true, true},
      {kRWin, L"Hidden", 525, 1995, 960, 435, false, false},
      {kList1, L"", 2835, 105, 4740, 4350, false, true},
      {kCommand1, L"Unused", 1470, 1995, 855, 435, false, false},
      {kText1, L"", 105, 2100, 2640, 2640, false, true},
  };
  const RECT frame = PlaceIn(Control(kFrame1), window);
  for (const Expected& expected : controls) {
    HWND control = Control(expected.Id);
    ASSERT_NE(control, nullptr) << expected.Id;
    EXPECT_EQ(Text(control), expected.Text) << expected.Id;
    RECT place = PlaceIn(control, window);
    if (expected.InFrame) ::OffsetRect(&place, -frame.left, -frame.top);
    EXPECT_EQ(place.left, Px(expected.Left)) << expected.Id;
    EXPECT_EQ(place.top, Px(expected.Top)) << expected.Id;
    EXPECT_EQ(place.right - place.left, Px(expected.Width)) << expected.Id;
    EXPECT_EQ(place.bottom - place.top, Px(expected.Height)) << expected.Id;
    EXPECT_EQ(::IsWindowVisible(control) != FALSE, expected.Visible) << expected.Id;
  }
  EXPECT_FALSE(::IsWindowEnabled(Control(kCommand1)));
  EXPECT_EQ(::SendMessageW(Control(kOption1Female), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(::SendMessageW(Control(kOption1Male), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(::SendMessageW(Control(kCheck1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(::GetWindowLongW(Control(kText1), GWL_STYLE) & (ES_MULTILINE | WS_VSCROLL),
            ES_MULTILINE | WS_VSCROLL);
  if (const char* path = std::getenv("QUIB_SCREENSHOT")) SaveScreenshot(window, path);
}

// The edit controls' own rules: digits only in Pos, 16 characters in Text2.
TEST_F(WindowTest, BoxesRefuseWhatTheFormRefuses) {
  for (ControlId pos : {kPos0, kPos1}) {
    EXPECT_TRUE(::GetWindowLongW(Control(pos), GWL_STYLE) & ES_NUMBER) << pos;
  }
  ::SendMessageW(Control(kPos0), WM_CHAR, L'a', 0);
  EXPECT_EQ(Text(Control(kPos0)), L"150");

  HWND text2 = Control(kText2);
  EXPECT_EQ(::SendMessageW(text2, EM_GETLIMITTEXT, 0, 0), 16);
  ::SendMessageW(text2, EM_SETSEL, 0, -1);
  for (wchar_t c : std::wstring(L"abcdefghijklmnopqrst")) ::SendMessageW(text2, WM_CHAR, c, 0);
  EXPECT_EQ(Text(text2), L"abcdefghijklmnop");
}

// One login through the window's own notification and timer, then Clear Log.
TEST_F(WindowTest, AnswersALoginAndClearsTheLog) {
  const int client = test::ConnectClient(port);
  ASSERT_GE(client, 0);
  test::SendAll(client, test::LoginRequest());
  const test::Bytes reply = test::ReadExactly(client, 79, 5000);
  ASSERT_EQ(reply.size(), 79u);
  EXPECT_EQ(test::U16(reply, 0), 0x0069);
  EXPECT_EQ(test::TextAt(reply, 53, 17), std::string("Quib-Test Server\0", 17));
  EXPECT_TRUE(test::PeerClosed(client, 2000)) << "the login server kept the connection";
  test::CloseClientSocket(client);

  HWND list = Control(kList1);
  ASSERT_TRUE(Eventually([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) > 0; }));
  EXPECT_EQ(ListLines(list), std::vector<std::string>{"CharSvrReq - 7F000001"});

  ::SendMessageW(Control(kCommand2), BM_CLICK, 0, 0);
  EXPECT_TRUE(Eventually([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) == 0; }));
}

// The log follows its newest line once it outgrows the list.
TEST_F(WindowTest, ListKeepsTheNewestLineInView) {
  const int client = test::ConnectClient(port);
  ASSERT_GE(client, 0);
  HWND list = Control(kList1);
  auto count = [list] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0); };
  for (int i = 0; i < 60; ++i) {
    const auto before = count();
    test::SendAll(client, test::Le16(0x4321));  // an unknown packet: a line each
    ASSERT_TRUE(Eventually([&] { return count() > before; })) << i;
  }
  test::CloseClientSocket(client);
  RECT client_area{};
  ::GetClientRect(list, &client_area);
  RECT last{};
  ::SendMessageW(list, LB_GETITEMRECT, count() - 1, reinterpret_cast<LPARAM>(&last));
  EXPECT_GT(::SendMessageW(list, LB_GETTOPINDEX, 0, 0), 0) << "the list never scrolled";
  EXPECT_GE(last.top, 0);
  EXPECT_LE(last.bottom, client_area.bottom) << "the newest line is out of view";
}

// The log's menu and shortcuts, driven as the user would pick them: lines
// copied, an unknown packet's bytes in their own window, the tick changed
// while the server runs.
TEST_F(WindowTest, LogMenuCopiesShowsBytesAndChangesTheTick) {
  const int client = test::ConnectClient(port);
  ASSERT_GE(client, 0);
  HWND list = Control(kList1);
  auto count = [list] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0); };
  // Sent one at a time, each just after a tick: the time to its line shows
  // the rhythm.
  auto unknownPacket = [&](std::uint16_t id) {
    const auto before = count();
    const auto sent = Clock::now();
    test::SendAll(client, test::Le16(id));
    EXPECT_TRUE(Eventually([&] { return count() > before; })) << id;
    return Clock::now() - sent;
  };
  for (std::uint16_t id : {0x4321, 0x4322, 0x4323}) unknownPacket(id);
  const std::vector<std::string> lines = ListLines(list);
  // The first packet's version line, then one line a packet.
  ASSERT_EQ(lines.size(), 4u) << ::testing::PrintToString(lines);

  // Ctrl+C on the list copies the selected lines, one per line.
  ::SendMessageW(list, LB_SETSEL, TRUE, 1);
  ::SendMessageW(list, LB_SETSEL, TRUE, 3);
  ::SendMessageW(list, WM_CHAR, 3, 0);
  EXPECT_EQ(ClipboardText(), std::wstring(lines[1].begin(), lines[1].end()) + L"\r\n" +
                                 std::wstring(lines[3].begin(), lines[3].end()));
  ::SendMessageW(window, WM_COMMAND, kMenuSelectAll, 0);
  EXPECT_EQ(::SendMessageW(list, LB_GETSELCOUNT, 0, 0), 4);

  // A double-click on the second packet's line shows its bytes.
  ::SendMessageW(list, LB_SETCARETINDEX, 2, FALSE);
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(kList1, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
  HWND bytes = server.FindWindowOf(kBytesWindowClass, L"Packet Bytes");
  ASSERT_NE(bytes, nullptr) << "no bytes window";
  const std::wstring shown = Text(::GetWindow(bytes, GW_CHILD));
  EXPECT_EQ(shown.rfind(L"Unknown Packet (0x4322) - 7F000001 (2 bytes buffered)\r\n0000  22 43", 0),
            0u)
      << std::string(shown.begin(), shown.end());
  ::SendMessageW(bytes, WM_CLOSE, 0, 0);

  // A right-click on the list opens its menu (whose items another process
  // cannot read under Wine); Escape closes it.
  RECT place{};
  ::GetWindowRect(list, &place);
  ::PostMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list),
                 MAKELPARAM(place.left + 20, place.top + 20));
  HWND menu = server.FindWindowOf(L"#32768", nullptr);
  ASSERT_NE(menu, nullptr) << "no context menu";
  ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(Eventually([&] { return !::IsWindowVisible(menu); })) << "the menu stayed open";

  // At a 1000 ms tick a packet waits for the next tick; back at 10 ms the
  // server goes on answering.
  ::SendMessageW(window, WM_COMMAND, kMenuTick + 5, 0);
  unknownPacket(0x4324);  // the tick re-arms
  EXPECT_GE(unknownPacket(0x4325), 500ms);
  ::SendMessageW(window, WM_COMMAND, kMenuTick, 0);
  unknownPacket(0x4326);
  EXPECT_LT(unknownPacket(0x4327), 500ms);
  test::CloseClientSocket(client);
}

// A second instance cannot listen on the same port: it says so in a message
// box and ends with status 1.
TEST_F(WindowTest, SecondInstanceIsRefusedThePort) {
  Child second;
  ASSERT_TRUE(second.Start(L"--port " + std::to_wstring(port)));
  HWND box = second.FindWindowOf(L"#32770", L"Quib-Server");
  ASSERT_NE(box, nullptr) << "no message box";
  EXPECT_EQ(Text(::GetDlgItem(box, 0xFFFF)),
            L"Unable to listen on 127.0.0.1:" + std::to_wstring(port));
  ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(second.Wait(), 1u);
}

}  // namespace
}  // namespace quib
