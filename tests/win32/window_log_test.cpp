// The Windows program's log as another program sees it: lines from a real
// client, Clear Log, the list following its newest line, the log's menu and
// the bytes windows.
#include <windows.h>

#include <dlgs.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/text_win32.h"
#include "tests/test_support.h"
#include "tests/win32/window_driver.h"
#include "ui/win32/faults_window_win32.h"
#include "ui/win32/log_menu_win32.h"
#include "ui/win32/status_bar_win32.h"

namespace quib::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

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

  HWND list = Control(FormControl::List1);
  ASSERT_TRUE(Eventually([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) > 0; }));
  EXPECT_EQ(ListLines(list), std::vector<std::string>{"CharSvrReq - 7F000001"});

  ::SendMessageW(Control(FormControl::Command2), BM_CLICK, 0, 0);
  EXPECT_TRUE(Eventually([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) == 0; }));
}

// "Show Time and Connection": the time and the connection ahead of each line,
// and said in the status bar.
TEST_F(WindowTest, LogDetailPutsTheTimeAndTheConnectionAhead) {
  ::SendMessageW(window, WM_COMMAND, kMenuLogDetail, 0);
  EXPECT_EQ(Status(), L"Log lines now start with the time and the connection");
  const int client = test::ConnectClient(port);
  ASSERT_GE(client, 0);
  test::SendAll(client, test::LoginRequest());
  EXPECT_EQ(test::ReadExactly(client, 79, 5000).size(), 79u);
  test::CloseClientSocket(client);
  HWND list = Control(FormControl::List1);
  ASSERT_TRUE(Eventually([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) > 0; }));
  const std::string line = ListLines(list).at(0);
  EXPECT_TRUE(std::regex_match(
      line, std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} \\[#1 127\\.0\\.0\\.1:[0-9]+\\] "
                       "CharSvrReq - 7F000001")))
      << line;
}

// "Show Every Packet": the packets both ways among the designed lines.
TEST_F(WindowTest, ShowEveryPacketLogsThePacketsBothWays) {
  ::SendMessageW(window, WM_COMMAND, MenuIdOf(LogMenuCommand::kLogPackets), 0);
  EXPECT_EQ(Status(), L"Every packet now shows in the log, both ways");
  const int client = test::ConnectClient(port);
  ASSERT_GE(client, 0);
  test::SendAll(client, test::LoginRequest());
  EXPECT_EQ(test::ReadExactly(client, 79, 5000).size(), 79u);
  test::CloseClientSocket(client);
  HWND list = Control(FormControl::List1);
  ASSERT_TRUE(Eventually([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) >= 3; }));
  const std::vector<std::string> lines = ListLines(list);
  EXPECT_EQ(lines.at(0), "Recv 0x0064 Login request - 7F000001");
  EXPECT_TRUE(lines.at(1).starts_with("Send 0x0069 Server list: ")) << lines.at(1);
  EXPECT_EQ(lines.at(2), "CharSvrReq - 7F000001");
}

// "Faults…": a SPEC typed and added is listed, the selected one removed.
TEST_F(WindowTest, TheFaultsWindowAddsAndRemovesFaults) {
  ::PostMessageW(window, WM_COMMAND, MenuIdOf(LogMenuCommand::kFaults), 0);
  HWND faults = server.FindWindowOf(kFaultsWindowClass, L"Faults");
  ASSERT_NE(faults, nullptr);
  HWND list = ::GetDlgItem(faults, kFaultListId);
  ::SendMessageW(::GetDlgItem(faults, kFaultSpecId), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"slice:7,reply=0x0069"));
  ::SendMessageW(::GetDlgItem(faults, kFaultAddId), BM_CLICK, 0, 0);
  ASSERT_EQ(ListLines(list),
            std::vector<std::string>{"1  slice:7,reply=0x0069  fired 0 of 0 matched"});
  ::SendMessageW(list, LB_SETCURSEL, 0, 0);
  ::SendMessageW(::GetDlgItem(faults, kFaultRemoveId), BM_CLICK, 0, 0);
  EXPECT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 0);
}

// The log follows its newest line once it outgrows the list.
TEST_F(WindowTest, ListKeepsTheNewestLineInView) {
  const int client = test::ConnectClient(port);
  ASSERT_GE(client, 0);
  HWND list = Control(FormControl::List1);
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
  HWND list = Control(FormControl::List1);
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
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(ControlIdOf(FormControl::List1), LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
  HWND bytes = server.FindWindowOf(kBytesWindowClass, L"Packet Bytes");
  ASSERT_NE(bytes, nullptr) << "no bytes window";
  const std::string shown = Utf8Text(Text(::GetWindow(bytes, GW_CHILD)));
  // When it came and from which connection, then the line and the bytes.
  EXPECT_TRUE(std::regex_search(
      shown,
      std::regex("^[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} \\[#1 127\\.0\\.0\\.1:[0-9]+\\] "
                 "Unknown Packet \\(0x4322\\) - 7F000001 \\(2 bytes buffered\\)\r\n0000  22 43")))
      << shown;
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

// "Connections…" lists the client in the map, and its buttons send to the
// selected row and warp it.
TEST_F(WindowTest, ConnectionsWindowActsOnTheSelectedClient) {
  const int client = test::ConnectClient(port);
  ASSERT_GE(client, 0);
  test::SendAll(client, test::MapLogin());
  ASSERT_EQ(test::ReadExactly(client, test::kMapGreetingSize, 5000).size(), test::kMapGreetingSize);
  ::SendMessageW(window, WM_COMMAND, MenuIdOf(LogMenuCommand::kConnections), 0);
  HWND connections = server.FindWindowOf(kConnectionsWindowClass, L"Connections");
  ASSERT_NE(connections, nullptr) << "no Connections window";
  HWND list = ::GetDlgItem(connections, kConnectionsListId);
  ASSERT_TRUE(Eventually([&] { return ListLines(list).size() == 1; }));
  EXPECT_TRUE(std::regex_search(
      ListLines(list)[0], std::regex("^#1 +127\\.0\\.0\\.1:[0-9]+ +map +5 +in the map +1 +19 ")))
      << ListLines(list)[0];

  ::SendMessageW(list, LB_SETCURSEL, 0, 0);
  ::SendMessageW(::GetDlgItem(connections, kConnectionsBytesId), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"c2 00 07 00 00 00"));
  ::SendMessageW(::GetDlgItem(connections, kConnectionsFirstActionId), BM_CLICK, 0, 0);
  EXPECT_EQ(test::ReadExactly(client, 6, 3000), test::Concat({test::Le16(0x00C2), test::Le32(7)}));
  ::SendMessageW(::GetDlgItem(connections, kConnectionsFirstActionId + 1), BM_CLICK, 0, 0);
  EXPECT_EQ(test::U16(test::ReadExactly(client, 26, 3000), 0), 0x0091);
  test::CloseClientSocket(client);
}

// A packet's bytes open beside the main window, one window a log line: a
// second double-click brings it forward; the Close button and Escape close
// it, and its line may be opened again.
TEST_F(WindowTest, BytesWindowsOpenBesideOnceALine) {
  // Room to the right of the main window.
  ::SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const int client = test::ConnectClient(port);
  ASSERT_GE(client, 0);
  HWND list = Control(FormControl::List1);
  for (std::uint16_t id : {0x4321, 0x4322}) {
    const auto before = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    test::SendAll(client, test::Le16(id));
    ASSERT_TRUE(Eventually([&] { return ::SendMessageW(list, LB_GETCOUNT, 0, 0) > before; }));
  }
  test::CloseClientSocket(client);
  // Rows 1 and 2: the two packets, after the version line.
  auto doubleClick = [&](int row) {
    ::SendMessageW(list, LB_SETCARETINDEX, static_cast<WPARAM>(row), FALSE);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(ControlIdOf(FormControl::List1), LBN_DBLCLK),
                   reinterpret_cast<LPARAM>(list));
  };
  auto open = [&] { return server.WindowsOf(kBytesWindowClass); };

  doubleClick(1);
  HWND first = server.FindWindowOf(kBytesWindowClass, L"Packet Bytes");
  ASSERT_NE(first, nullptr) << "no bytes window";
  RECT main{};
  ::GetWindowRect(window, &main);
  RECT beside{};
  ::GetWindowRect(first, &beside);
  EXPECT_GE(beside.left, main.right) << "it hides the log";
  EXPECT_EQ(beside.top, main.top);
  doubleClick(2);
  ASSERT_TRUE(Eventually([&] { return open().size() == 2; })) << "the other line has none";
  const std::vector<HWND> both = open();
  HWND second = both[0] == first ? both[1] : both[0];
  doubleClick(1);
  EXPECT_EQ(open().size(), 2u) << "the same line opened twice";
  EXPECT_TRUE(Eventually([&] { return ::GetForegroundWindow() == first; }))
      << "its window was not brought forward";

  // Escape where the keys go, as the keyboard sends it.
  HWND focus = FocusOf(first);
  ASSERT_EQ(::GetAncestor(focus, GA_ROOT), first) << "the keys do not go to the bytes";
  ::PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(Eventually([&] { return !::IsWindow(first); })) << "Escape left it open";

  HWND close = ::GetDlgItem(second, kBytesCloseId);
  ASSERT_NE(close, nullptr) << "no Close button";
  EXPECT_EQ(Text(close), L"Close");
  ::SendMessageW(close, BM_CLICK, 0, 0);
  EXPECT_TRUE(Eventually([&] { return !::IsWindow(second); }));

  doubleClick(1);
  EXPECT_TRUE(Eventually([&] { return open().size() == 1; })) << "its line was not forgotten";

  // No room to its right: to its left, and never over the log.
  const HWND again = open().at(0);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ::SetWindowPos(window, nullptr, work.right - (main.right - main.left), work.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  doubleClick(2);
  ASSERT_TRUE(Eventually([&] { return open().size() == 2; }));
  const std::vector<HWND> now = open();
  RECT left{};
  ::GetWindowRect(now[0] == again ? now[1] : now[0], &left);
  RECT log{};
  ::GetWindowRect(list, &log);
  EXPECT_LE(left.right, log.left) << "it hides the log";
}

// A capture or journal file named in the dialog with characters beyond the
// ANSI code page ("日本"), and ones whose ANSI bytes also read as UTF-8
// ("Ã©"), is made under exactly that name, and the menu stops it again.
TEST_F(WindowTest, CaptureAndJournalGoToTheFileNamedInTheDialog) {
  const struct {
    LogMenuCommand Command;
    const wchar_t* Dialog;
    const wchar_t* Kind;
    const wchar_t* Extension;
    std::string Head;  // how the file starts
  } files[] = {
      {LogMenuCommand::kCapture, L"Start Capture", L"Capture",
       L"-a-name-longer-than-the-bar-to-its-end.pcapng", "\x0A\x0D\x0D\x0A"},
      {LogMenuCommand::kJournal, L"Start Journal", L"Journal", L".jsonl", "{\"ev"},
  };
  wchar_t folder[MAX_PATH];
  ::GetTempPathW(MAX_PATH, folder);
  for (const auto& file : files) {
    const std::wstring path =
        folder + std::wstring(L"quib-\u00c3\u00a9-\u65e5\u672c") + file.Extension;
    ::DeleteFileW(path.c_str());

    ::PostMessageW(window, WM_COMMAND, MenuIdOf(file.Command), 0);
    HWND dialog = server.FindWindowOf(L"#32770", file.Dialog);
    ASSERT_NE(dialog, nullptr) << "no file dialog";
    // The file name box: an edit under Wine, a combo box on Windows.
    HWND name = ::GetDlgItem(dialog, edt1);
    if (name == nullptr) name = ::GetDlgItem(dialog, cmb13);
    ASSERT_NE(name, nullptr) << "no file name box";
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);

    const std::wstring started = std::wstring(file.Kind) + L" started: " + path;
    EXPECT_TRUE(Eventually([&] { return Status() == started; }))
        << "status: " << Utf8Text(Status());
    if (file.Command == LogMenuCommand::kCapture) {
      // The capture's section keeps the end of its name in view at the designed
      // width, clear of the grip, in the bar's own font; the tooltip has it all.
      EXPECT_TRUE(Eventually([&] { return !OutcomeShows(); }, std::chrono::seconds(10)));
      const std::vector<BarPart> parts = StatusParts();
      ASSERT_FALSE(parts.empty());
      const BarPart& capture = parts.back();
      EXPECT_EQ(capture.Text.rfind(L"Capture: \u2026", 0), 0u) << Utf8Text(capture.Text);
      EXPECT_TRUE(capture.Text.ends_with(L"-to-its-end.pcapng")) << Utf8Text(capture.Text);
      HDC screen = ::GetDC(nullptr);
      const HFONT font = CreateStatusFont();
      const HGDIOBJ previous = ::SelectObject(screen, font);
      SIZE text{};
      ::GetTextExtentPoint32W(screen, capture.Text.c_str(), static_cast<int>(capture.Text.size()),
                              &text);
      ::SelectObject(screen, previous);
      ::DeleteObject(font);
      ::ReleaseDC(nullptr, screen);
      EXPECT_LE(capture.Left + text.cx, capture.Right - ::GetSystemMetrics(SM_CXVSCROLL));
      EXPECT_TRUE(StatusTip().ends_with(L" | Capture: " + path)) << Utf8Text(StatusTip());
      if (const char* shot = std::getenv("QUIB_SCREENSHOT")) {
        SaveScreenshot(window, (std::string(shot) + ".capture.bmp").c_str());
      }
    }
    ::SendMessageW(window, WM_COMMAND, MenuIdOf(file.Command), 0);  // Stop
    std::ifstream written(std::filesystem::path(path), std::ios::binary);
    char head[4] = {};
    written.read(head, sizeof head);
    EXPECT_EQ(std::string(head, sizeof head), file.Head) << "not that file there";
    written.close();
    ::DeleteFileW(path.c_str());
  }
}

}  // namespace
}  // namespace quib::test
