#include "ui/win32/faults_window_win32.h"

#include <algorithm>
#include <string>

#include "app/main_window.h"
#include "platform/text_win32.h"
#include "ui/win32/bytes_window_win32.h"

namespace quib {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;  // the fired counts, read again while it shows
constexpr UINT kRefreshMs = 500;

HWND Child(HWND parent, const wchar_t* kind, DWORD style, int id, DWORD extended = 0) {
  HWND child = ::CreateWindowExW(extended, kind, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
  return child;
}

// The list above; the SPEC box and Add below it; the error, then Remove.
void LayOut(HWND window, int width, int height) {
  const int margin = Scaled(7);
  const int button = Scaled(75);
  const int line = Scaled(23);
  const int listHeight = std::max(0, height - 3 * line - 4 * margin);
  ::MoveWindow(::GetDlgItem(window, kFaultListId), margin, margin, width - 2 * margin, listHeight,
               TRUE);
  const int specTop = margin + listHeight + margin;
  ::MoveWindow(::GetDlgItem(window, kFaultSpecId), margin, specTop,
               std::max(0, width - 3 * margin - button), line, TRUE);
  ::MoveWindow(::GetDlgItem(window, kFaultAddId), width - margin - button, specTop, button, line,
               TRUE);
  ::MoveWindow(::GetDlgItem(window, kFaultErrorId), margin, specTop + line + margin,
               width - 2 * margin, line, TRUE);
  ::MoveWindow(::GetDlgItem(window, kFaultRemoveId), width - margin - button,
               specTop + 2 * (line + margin), button, line, TRUE);
}

}  // namespace

FaultsWindow::~FaultsWindow() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

void FaultsWindow::Show() {
  if (window_ != nullptr) {
    Refresh();
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::SetForegroundWindow(window_);
    return;
  }
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterSmallWindowClass(kFaultsWindowClass, Proc);
  window_ =
      ::CreateWindowExW(0, kFaultsWindowClass, L"Faults", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, Scaled(460), Scaled(280), owner_, nullptr, instance, this);
  if (window_ == nullptr) return;
  Refresh();
  ::ShowWindow(window_, SW_SHOWNORMAL);
}

void FaultsWindow::Refresh() {
  if (window_ == nullptr) return;
  HWND list = ::GetDlgItem(window_, kFaultListId);
  const LRESULT selected = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
  ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const Fault& fault : form_.Faults.All()) {
    const std::wstring row =
        WideText(std::to_string(fault.Number) + "  " + fault.Spec.Text + "  fired " +
                 std::to_string(fault.Fired) + " of " + std::to_string(fault.Matched) + " matched");
    const LRESULT at = ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    ::SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), fault.Number);
  }
  if (selected != LB_ERR) ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void FaultsWindow::Add() {
  HWND spec = ::GetDlgItem(window_, kFaultSpecId);
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(spec)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(::GetWindowTextW(spec, text.data(), static_cast<int>(text.size()))));
  std::string error;
  if (form_.AddFault(Utf8Text(text), error)) {
    ::SetWindowTextW(spec, L"");
    error.clear();
  }
  ::SetDlgItemTextW(window_, kFaultErrorId, WideText(error).c_str());
  Refresh();
}

void FaultsWindow::RemoveSelected() {
  HWND list = ::GetDlgItem(window_, kFaultListId);
  const LRESULT selected = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return;
  form_.ClearFault(static_cast<std::uint32_t>(::SendMessageW(list, LB_GETITEMDATA, selected, 0)));
  Refresh();
}

LRESULT CALLBACK FaultsWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<FaultsWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_CREATE: {
      self = static_cast<FaultsWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      Child(window, L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
            kFaultListId, WS_EX_CLIENTEDGE);
      Child(window, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, kFaultSpecId, WS_EX_CLIENTEDGE);
      ::SetWindowTextW(Child(window, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kFaultAddId), L"Add");
      Child(window, L"STATIC", SS_LEFT, kFaultErrorId);
      ::SetWindowTextW(Child(window, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, kFaultRemoveId),
                       L"Remove");
      ::SetTimer(window, kRefreshTimer, kRefreshMs, nullptr);
      return 0;
    }
    case WM_SIZE:
      LayOut(window, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_TIMER:
      if (self != nullptr && wParam == kRefreshTimer && ::IsWindowVisible(window)) self->Refresh();
      return 0;
    case WM_COMMAND:
      if (self == nullptr) break;
      if (LOWORD(wParam) == kFaultAddId) self->Add();
      if (LOWORD(wParam) == kFaultRemoveId) self->RemoveSelected();
      if (LOWORD(wParam) == IDCANCEL) ::ShowWindow(window, SW_HIDE);
      return 0;
    case WM_CLOSE:
      // Closing hides it: the faults stay, and so does the window to show them.
      ::ShowWindow(window, SW_HIDE);
      return 0;
    case WM_DESTROY:
      ::KillTimer(window, kRefreshTimer);
      if (self != nullptr) self->window_ = nullptr;
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace quib
