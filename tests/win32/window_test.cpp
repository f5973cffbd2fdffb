// The Windows program's window as another program sees it: every control
// built as the designed form has it, placed in pixels from its twips, and
// following a resize as the form says; the status bar below the form.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/form_layout.h"
#include "base/settings.h"
#include "platform/text_win32.h"
#include "tests/test_support.h"
#include "tests/win32/window_driver.h"
#include "ui/win32/status_bar_win32.h"

namespace quib::test {
namespace {

// Whether `control` is the native control that `row`'s kind is built as.
bool IsKindOf(HWND control, const FormRow& row) {
  wchar_t name[32] = {};
  ::GetClassNameW(control, name, 32);
  const LONG style = ::GetWindowLongW(control, GWL_STYLE);
  auto is = [&](const wchar_t* className) { return ::lstrcmpiW(name, className) == 0; };
  auto button = [&](LONG type) { return is(L"Button") && (style & BS_TYPEMASK) == type; };
  switch (row.Kind) {
    case ControlKind::CheckBox:
      return button(BS_AUTOCHECKBOX);
    case ControlKind::Button:
      return button(BS_PUSHBUTTON);
    case ControlKind::Frame:
      return button(BS_GROUPBOX);
    case ControlKind::OptionButton:
      return button(BS_RADIOBUTTON);
    case ControlKind::TextBox:
      return is(L"Edit") && ((style & (ES_MULTILINE | WS_VSCROLL)) ==
                             (ES_MULTILINE | WS_VSCROLL)) == row.Settings.MultiLine;
    case ControlKind::Label:
      return is(L"Static") &&
             (style & SS_TYPEMASK) == (row.Settings.AlignRight ? SS_RIGHT : SS_LEFT);
    case ControlKind::ListBox:
      return is(L"ListBox");
    case ControlKind::Timer:
      return false;
  }
  return false;
}

bool IsRed(COLORREF c) { return GetRValue(c) >= 160 && GetGValue(c) <= 96 && GetBValue(c) <= 96; }
bool IsYellow(COLORREF c) {
  return GetRValue(c) >= 160 && GetGValue(c) >= 160 && GetBValue(c) <= 96;
}

class FormWindowTest : public WindowTest {
 protected:
  // Where the form puts `row`'s control in the window's client area.
  RECT Designed(const FormRow& row) const {
    const FormRect& frame = RowOf(FormControl::Frame1).Place;
    const bool inFrame = row.Parent == ControlParent::Frame1;
    RECT place{Px(row.Place.Left), Px(row.Place.Top), 0, 0};
    if (inFrame) ::OffsetRect(&place, Px(frame.Left), Px(frame.Top));
    place.right = place.left + Px(row.Place.Width);
    place.bottom = place.top + Px(row.Place.Height);
    return place;
  }
};

TEST_F(FormWindowTest, EveryControlIsBuiltAsTheFormHasIt) {
  // The designed client area, and the status bar below it across the width.
  HWND bar = ::GetDlgItem(window, kStatusBarId);
  ASSERT_NE(bar, nullptr) << "no status bar";
  const RECT barPlace = PlaceIn(bar, window);
  EXPECT_EQ(barPlace.left, 0);
  EXPECT_EQ(barPlace.top, Px(kFormPlace.Height));
  EXPECT_GT(barPlace.bottom, barPlace.top);
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, Px(kFormPlace.Width));
  EXPECT_EQ(client.bottom, barPlace.bottom);
  EXPECT_EQ(barPlace.right, client.right);
  RECT outer{};
  ::GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, Px(kFormPlace.Left));
  EXPECT_EQ(outer.top, Px(kFormPlace.Top));
  for (const FormRow& row : FormRows()) {
    SCOPED_TRACE(row.Name);
    HWND control = Control(row.Control);
    if (row.Kind == ControlKind::Timer) {
      EXPECT_EQ(control, nullptr) << "the timer is the window's own";
      continue;
    }
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(IsKindOf(control, row));
    EXPECT_EQ(Text(control), WideText(row.Caption));
    const RECT place = PlaceIn(control, window);
    const RECT designed = Designed(row);
    EXPECT_TRUE(::EqualRect(&place, &designed))
        << place.left << "," << place.top << " " << place.right - place.left << "x"
        << place.bottom - place.top;
    EXPECT_EQ(::IsWindowVisible(control) != FALSE, row.Settings.Visible);
    EXPECT_EQ(::IsWindowEnabled(control) != FALSE, row.Settings.Enabled);
  }
  EXPECT_EQ(::SendMessageW(Control(FormControl::Option1_0), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(::SendMessageW(Control(FormControl::Option1_1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(::SendMessageW(Control(FormControl::Check1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  if (const char* path = std::getenv("QUIB_SCREENSHOT")) SaveScreenshot(window, path);
}

// Where two controls overlap, the one made first stands on top: the boxes
// over the labels they share a line with.
TEST_F(FormWindowTest, ControlsMadeFirstStandOnTop) {
  int overlaps = 0;
  const auto rows = FormRows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      const FormRow& upper = rows[i];
      const FormRow& lower = rows[j];
      if (upper.Kind == ControlKind::Timer || lower.Kind == ControlKind::Timer ||
          upper.Parent != lower.Parent || !upper.Settings.Visible || !lower.Settings.Visible) {
        continue;
      }
      const RECT a = Designed(upper);
      const RECT b = Designed(lower);
      RECT overlap{};
      if (!::IntersectRect(&overlap, &a, &b)) continue;
      ++overlaps;
      const POINT middle{(overlap.left + overlap.right) / 2, (overlap.top + overlap.bottom) / 2};
      EXPECT_EQ(::ChildWindowFromPointEx(window, middle, CWP_SKIPINVISIBLE), Control(upper.Control))
          << upper.Name << " over " << lower.Name;
    }
  }
  EXPECT_GT(overlaps, 0);
}

// The log grows with the window, the controls below it keep to the bottom and
// the rest stays.
TEST_F(FormWindowTest, ControlsFollowAResizeAsTheFormSays) {
  std::map<FormControl, RECT> before;
  for (const FormRow& row : FormRows()) {
    if (row.Kind != ControlKind::Timer) before[row.Control] = PlaceIn(Control(row.Control), window);
  }
  constexpr int kWider = 291;
  constexpr int kTaller = 178;
  RECT outer{};
  ::GetWindowRect(window, &outer);
  ::SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + kWider,
                 outer.bottom - outer.top + kTaller, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  ASSERT_TRUE(Eventually([&] {
    ::GetClientRect(window, &client);
    return client.right == Px(kFormPlace.Width) + kWider;
  }));
  for (const auto& [control, place] : before) {
    SCOPED_TRACE(RowOf(control).Name);
    RECT expected = place;
    switch (RowOf(control).Resize) {
      case OnResize::Grows:
        expected.right += kWider;
        expected.bottom += kTaller;
        break;
      case OnResize::KeepsToBottom:
        ::OffsetRect(&expected, 0, kTaller);
        break;
      case OnResize::Stays:
        break;
    }
    EXPECT_TRUE(Eventually([&] {
      const RECT now = PlaceIn(Control(control), window);
      return ::EqualRect(&now, &expected) != FALSE;
    }));
  }
}

// Dragged down to 300 x 200, the window keeps the whole form and the bar.
TEST_F(FormWindowTest, RefusesToGetSmallerThanTheForm) {
  RECT client{};
  ::GetClientRect(window, &client);
  const RECT list = PlaceIn(Control(FormControl::List1), window);
  ::SetWindowPos(window, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT now{};
  ::GetClientRect(window, &now);
  EXPECT_TRUE(::EqualRect(&now, &client)) << now.right << "x" << now.bottom;
  const RECT listNow = PlaceIn(Control(FormControl::List1), window);
  EXPECT_TRUE(::EqualRect(&listNow, &list));
  EXPECT_EQ(PlaceIn(::GetDlgItem(window, kStatusBarId), window).bottom, client.bottom);
}

// The status bar: where the server listens, its connections and the warp
// target, the whole of it in the tooltip; over it, in turn, what the
// commands did: a reload's outcome is not replaced at once by the next.
TEST_F(WindowTest, StatusBarTellsTheServerAndTheLastCommand) {
  auto lasting = [&](int connections) {
    return L"Listening on 127.0.0.1:" + std::to_wstring(port) + L" | " +
           std::to_wstring(connections) + (connections == 1 ? L" connection" : L" connections") +
           L", 0 in the map | Warp to " + WideText(kDefaultMapName) + L" (" +
           WideText(kDefaultPosX) + L", " + WideText(kDefaultPosY) + L")";
  };
  EXPECT_TRUE(Eventually([&] { return StatusTip() == lasting(0); })) << Utf8Text(StatusTip());
  EXPECT_FALSE(OutcomeShows());
  const int client = test::ConnectClient(port);
  ASSERT_GE(client, 0);
  EXPECT_TRUE(Eventually([&] { return StatusTip() == lasting(1); }));

  ::SendMessageW(Control(FormControl::Command4), BM_CLICK, 0, 0);
  ::SendMessageW(Control(FormControl::Command3), BM_CLICK, 0, 0);
  EXPECT_EQ(Status().rfind(L"Force Map Reload: no client in the map", 0), 0u) << Utf8Text(Status());
  const auto told = std::chrono::steady_clock::now();
  EXPECT_TRUE(Eventually([&] { return Status() == L"Warp: no client in the map"; }));
  const auto warped = std::chrono::steady_clock::now();
  EXPECT_GE(warped - told, kOutcomeLeast - std::chrono::milliseconds(300));
  EXPECT_TRUE(Eventually([&] { return !OutcomeShows(); }, std::chrono::seconds(10)));
  EXPECT_GE(std::chrono::steady_clock::now() - warped, std::chrono::seconds(4));
  EXPECT_EQ(StatusTip(), lasting(1) + L" | reload pending");
  test::CloseClientSocket(client);
}

// The edit controls' own rules: digits only in Pos, 16 characters in Text2,
// the cut said in the status bar.
TEST_F(FormWindowTest, BoxesRefuseWhatTheFormRefuses) {
  for (FormControl pos : {FormControl::Pos_0, FormControl::Pos_1}) {
    EXPECT_TRUE(::GetWindowLongW(Control(pos), GWL_STYLE) & ES_NUMBER) << RowOf(pos).Name;
  }
  ::SendMessageW(Control(FormControl::Pos_0), WM_CHAR, L'a', 0);
  EXPECT_EQ(Text(Control(FormControl::Pos_0)), WideText(RowOf(FormControl::Pos_0).Caption));

  HWND text2 = Control(FormControl::Text2);
  ::SendMessageW(text2, EM_SETSEL, 0, -1);
  for (wchar_t c : std::wstring(L"abcdefghijklmnopqrst")) ::SendMessageW(text2, WM_CHAR, c, 0);
  EXPECT_EQ(Text(text2), L"abcdefghijklmnop");
  EXPECT_EQ(Status(), L"Map name cut to 16 characters: abcdefghijklmnop (typed 17)");
}

// A second instance cannot listen on the same port: it says so in a message
// box and ends with status 1.
TEST_F(WindowTest, SecondInstanceIsRefusedThePort) {
  Child second;
  ASSERT_TRUE(second.Start(L"--port " + std::to_wstring(port)));
  HWND box = second.FindWindowOf(L"#32770", WideText(kFormCaption).c_str());
  ASSERT_NE(box, nullptr) << "no message box";
  // The designed line, then why on the lines below.
  const std::wstring said = Text(::GetDlgItem(box, 0xFFFF));
  const std::wstring designed = L"Unable to listen on 127.0.0.1:" + std::to_wstring(port);
  EXPECT_EQ(said.rfind(designed + L"\n", 0), 0u) << said;
  EXPECT_GT(said.size(), designed.size() + 1) << "no reason given";
  // The box's icon is the error's: red, where a warning's is yellow.
  HWND icon = nullptr;
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
  }
  ASSERT_NE(icon, nullptr) << "no icon in the message box";
  EXPECT_TRUE(Eventually([&] {
    const std::vector<COLORREF> pixels = ScreenPixels(icon);
    const auto red = std::count_if(pixels.begin(), pixels.end(), IsRed);
    return red > 20 && red > std::count_if(pixels.begin(), pixels.end(), IsYellow);
  })) << "the icon is not the error's";
  ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(second.Wait(), 1u);
}

}  // namespace
}  // namespace quib::test
