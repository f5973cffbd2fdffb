#include "ui/win32/connections_window_win32.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "app/connection_rows.h"
#include "app/main_window.h"
#include "platform/text_win32.h"
#include "ui/win32/bytes_window_win32.h"

namespace quib {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 500;

HWND MakeControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                 DWORD exStyle = 0) {
  HWND control = ::CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0,
                                   0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
  return control;
}

// The lines of `text`, without their line feeds.
std::vector<std::wstring> Lines(const std::string& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(WideText(text.substr(start, end - start)));
  }
  return lines;
}

}  // namespace

ConnectionsWindow::~ConnectionsWindow() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

void ConnectionsWindow::Show() {
  if (window_ != nullptr) {
    if (::IsIconic(window_)) ::ShowWindow(window_, SW_RESTORE);
    ::SetForegroundWindow(window_);
    return;
  }
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterSmallWindowClass(kConnectionsWindowClass, Proc);
  window_ = ::CreateWindowExW(0, kConnectionsWindowClass, L"Connections", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, Scaled(820), Scaled(260), owner_,
                              nullptr, instance, this);
  if (window_ == nullptr) return;
  BuildControls();
  RECT client{};
  ::GetClientRect(window_, &client);
  LayOut(client.right, client.bottom);
  Refresh();
  ::SetTimer(window_, kRefreshTimer, kRefreshMs, nullptr);
  ::ShowWindow(window_, SW_SHOWNORMAL);
}

void ConnectionsWindow::BuildControls() {
  // The rows in a fixed font, so that their columns line up under the captions.
  const auto fixed = reinterpret_cast<WPARAM>(::GetStockObject(ANSI_FIXED_FONT));
  ::SendMessageW(MakeControl(window_, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kConnectionsHeaderId),
                 WM_SETFONT, fixed, FALSE);
  ::SendMessageW(
      MakeControl(window_, L"LISTBOX", L"",
                  WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                  kConnectionsListId, WS_EX_CLIENTEDGE),
      WM_SETFONT, fixed, FALSE);
  MakeControl(window_, L"STATIC", WideText(kSendPrompt).c_str(), SS_LEFT, 0);
  MakeControl(window_, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kConnectionsBytesId,
              WS_EX_CLIENTEDGE);
  for (std::size_t i = 0; i < std::size(kConnectionActions); ++i) {
    MakeControl(window_, L"BUTTON", WideText(kConnectionActions[i].Caption).c_str(),
                WS_TABSTOP | BS_PUSHBUTTON, kConnectionsFirstActionId + static_cast<int>(i));
  }
}

void ConnectionsWindow::LayOut(int width, int height) {
  const int margin = Scaled(7);
  const int line = Scaled(16);
  const int button = Scaled(75);
  const int buttonHeight = Scaled(23);
  const int bottom = std::max(0, height - margin - buttonHeight);
  ::MoveWindow(::GetDlgItem(window_, kConnectionsHeaderId), margin, margin, width - 2 * margin,
               line, TRUE);
  ::MoveWindow(::GetDlgItem(window_, kConnectionsListId), margin, margin + line, width - 2 * margin,
               std::max(0, bottom - 2 * margin - line), TRUE);
  // The prompt, the box, then the buttons at the right.
  const int actions = static_cast<int>(std::size(kConnectionActions));
  const int buttonsLeft = std::max(0, width - margin - actions * (button + margin) + margin);
  HWND prompt = ::GetWindow(::GetDlgItem(window_, kConnectionsListId), GW_HWNDNEXT);
  ::MoveWindow(prompt, margin, bottom + Scaled(4), Scaled(70), line, TRUE);
  ::MoveWindow(::GetDlgItem(window_, kConnectionsBytesId), margin + Scaled(72), bottom,
               std::max(0, buttonsLeft - 2 * margin - Scaled(72)), buttonHeight, TRUE);
  for (int i = 0; i < actions; ++i) {
    ::MoveWindow(::GetDlgItem(window_, kConnectionsFirstActionId + i),
                 buttonsLeft + i * (button + margin), bottom, button, buttonHeight, TRUE);
  }
}

void ConnectionsWindow::Refresh() {
  HWND list = ::GetDlgItem(window_, kConnectionsListId);
  // The selection follows its connection, wherever its row is now.
  const auto selectedRow = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
  const std::uint64_t selected =
      selectedRow >= 0 && static_cast<std::size_t>(selectedRow) < numbers_.size()
          ? numbers_[static_cast<std::size_t>(selectedRow)]
          : 0;
  const auto top = ::SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  const std::vector<ConnectionRow> rows = ConnectionRows(form_, std::chrono::steady_clock::now());
  const std::vector<std::wstring> lines = Lines(ConnectionTableText(rows));
  ::SetDlgItemTextW(window_, kConnectionsHeaderId, lines.empty() ? L"" : lines[0].c_str());
  ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
  numbers_.clear();
  for (std::size_t i = 0; i < rows.size() && i + 1 < lines.size(); ++i) {
    ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lines[i + 1].c_str()));
    numbers_.push_back(rows[i].Number);
    if (rows[i].Number == selected) ::SendMessageW(list, LB_SETCURSEL, i, 0);
  }
  ::SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(std::max<LRESULT>(0, top)), 0);
  ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(list, nullptr, TRUE);
}

void ConnectionsWindow::Run(ConnectionAction action) {
  const auto row = ::SendMessageW(::GetDlgItem(window_, kConnectionsListId), LB_GETCURSEL, 0, 0);
  if (row < 0 || static_cast<std::size_t>(row) >= numbers_.size()) return;
  HWND box = ::GetDlgItem(window_, kConnectionsBytesId);
  std::wstring hex(static_cast<std::size_t>(::GetWindowTextLengthW(box)) + 1, L'\0');
  hex.resize(
      static_cast<std::size_t>(::GetWindowTextW(box, hex.data(), static_cast<int>(hex.size()))));
  RunConnectionAction(form_, action, numbers_[static_cast<std::size_t>(row)], Utf8Text(hex));
  Refresh();
}

LRESULT CALLBACK ConnectionsWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    ::SetWindowLongPtrW(
        window, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<ConnectionsWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_SIZE:
      if (self->window_ != nullptr) self->LayOut(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_TIMER:
      if (wParam == kRefreshTimer) self->Refresh();
      return 0;
    case WM_COMMAND: {
      const int index = LOWORD(wParam) - kConnectionsFirstActionId;
      if (HIWORD(wParam) == BN_CLICKED && index >= 0 &&
          index < static_cast<int>(std::size(kConnectionActions))) {
        self->Run(kConnectionActions[index].Action);
        return 0;
      }
      break;
    }
    case WM_DESTROY:
      ::KillTimer(window, kRefreshTimer);
      self->window_ = nullptr;
      self->numbers_.clear();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace quib
