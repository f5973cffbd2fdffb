#include "ui/win32/bytes_window_win32.h"

#include <algorithm>
#include <utility>

#include "app/log_text.h"

namespace quib {

namespace {

constexpr int kTextId = 1;

// The window's text and its keeper, for WM_CREATE.
struct Creation {
  const std::wstring* Text;
  BytesWindows* Windows;
};

// `window`'s place on the screen.
FormRect ScreenRect(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

// The text above, the Close button at the bottom right.
void LayOut(HWND window, int width, int height) {
  const int margin = Scaled(7);
  const int buttonWidth = Scaled(75);
  const int buttonHeight = Scaled(23);
  const int textHeight = std::max(0, height - buttonHeight - 2 * margin);
  ::MoveWindow(::GetDlgItem(window, kTextId), 0, 0, width, textHeight, TRUE);
  ::MoveWindow(::GetDlgItem(window, kBytesCloseId), std::max(0, width - margin - buttonWidth),
               textHeight + margin, buttonWidth, buttonHeight, TRUE);
}

}  // namespace

int Scaled(int pixels) {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return ::MulDiv(pixels, dpi, 96);
}

void RegisterSmallWindowClass(const wchar_t* name, WNDPROC proc) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  if (::GetClassInfoExW(instance, name, &windowClass)) return;
  windowClass = WNDCLASSEXW{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  ::RegisterClassExW(&windowClass);
}

BytesWindows::~BytesWindows() {
  // Each window forgets itself here as it goes.
  const auto open = open_;
  for (const auto& [number, window] : open) ::DestroyWindow(window);
}

bool BytesWindows::BringForward(std::uint64_t number) const {
  const auto found = open_.find(number);
  if (found == open_.end()) return false;
  if (::IsIconic(found->second)) ::ShowWindow(found->second, SW_RESTORE);
  ::SetForegroundWindow(found->second);
  return true;
}

void BytesWindows::Open(std::uint64_t number, const std::wstring& text) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterSmallWindowClass(kBytesWindowClass, Proc);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(owner_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  // Each further window a caption lower, so that none hides another.
  const FormRect at =
      BytesDialogPlace(ScreenRect(owner_), ScreenRect(log_), Scaled(660), Scaled(300),
                       {work.left, work.top, work.right - work.left, work.bottom - work.top},
                       static_cast<int>(open_.size()) * ::GetSystemMetrics(SM_CYCAPTION));
  Creation creation{&text, this};
  HWND window =
      ::CreateWindowExW(0, kBytesWindowClass, L"Packet Bytes", WS_OVERLAPPEDWINDOW, at.Left, at.Top,
                        at.Width, at.Height, owner_, nullptr, instance, &creation);
  if (window == nullptr) return;
  open_[number] = window;
  ::ShowWindow(window, SW_SHOWNORMAL);
}

void BytesWindows::Forget(HWND window) {
  std::erase_if(open_, [window](const auto& entry) { return entry.second == window; });
}

LRESULT CALLBACK BytesWindows::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      const auto* creation =
          static_cast<const Creation*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->Windows));
      const HINSTANCE instance = ::GetModuleHandleW(nullptr);
      HWND text = ::CreateWindowExW(
          WS_EX_CLIENTEDGE, L"EDIT", creation->Text->c_str(),
          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
              ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
          0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), instance,
          nullptr);
      ::SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(ANSI_FIXED_FONT)),
                     FALSE);
      HWND close = ::CreateWindowExW(
          0, L"BUTTON", L"Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
          window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBytesCloseId)), instance, nullptr);
      ::SendMessageW(close, WM_SETFONT,
                     reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
      return 0;
    }
    case WM_SIZE:
      LayOut(window, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_SETFOCUS:
      // The keys go to the bytes, where Escape finds them too.
      ::SetFocus(::GetDlgItem(window, kTextId));
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) != kBytesCloseId) break;
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      if (auto* self =
              reinterpret_cast<BytesWindows*>(::GetWindowLongPtrW(window, GWLP_USERDATA))) {
        self->Forget(window);
      }
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

bool CloseBytesWindowOnEscape(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_ESCAPE || message.hwnd == nullptr) {
    return false;
  }
  HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
  wchar_t name[64] = {};
  ::GetClassNameW(root, name, 64);
  if (::lstrcmpiW(name, kBytesWindowClass) != 0) return false;
  ::SendMessageW(root, WM_COMMAND, MAKEWPARAM(kBytesCloseId, BN_CLICKED), 0);
  return true;
}

}  // namespace quib
