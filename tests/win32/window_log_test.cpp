// The Windows program's log as another program sees it: lines from a real
// client, Clear Log, the list following its newest line, and the log's menu.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "tests/win32/window_driver.h"
#include "ui/win32/log_menu_win32.h"

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

}  // namespace
}  // namespace quib::test
