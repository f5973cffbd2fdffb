// The log's context menu, shortcuts and bytes window on Windows. The text
// comes from the core (app/log_text.h), as the Qt window has it.
#include "ui/win32/log_menu_win32.h"

#include <commctrl.h>
#include <commdlg.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/log_text.h"
#include "app/main_window.h"
#include "app/status_text.h"
#include "startup/program_options.h"
#include "startup/start_server.h"

namespace quib {

namespace {

// Windows edit controls and the clipboard break lines with CR LF.
std::string WindowsLines(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string SystemError(DWORD code) {
  char text[256] = {};
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

bool PutOnClipboard(HWND owner, const std::wstring& text) {
  if (!::OpenClipboard(owner)) return false;
  ::EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool placed = false;
  if (memory != nullptr) {
    std::memcpy(::GlobalLock(memory), text.c_str(), bytes);
    ::GlobalUnlock(memory);
    placed = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!placed) ::GlobalFree(memory);
  }
  ::CloseClipboard();
  return placed;
}

// The selected lines of the log, top to bottom.
std::string SelectedLines(HWND list, const ListBox& log) {
  const auto count = ::SendMessageW(list, LB_GETSELCOUNT, 0, 0);
  if (count <= 0) return {};
  std::vector<int> rows(static_cast<std::size_t>(count));
  ::SendMessageW(list, LB_GETSELITEMS, rows.size(), reinterpret_cast<LPARAM>(rows.data()));
  std::string text;
  for (int row : rows) {
    if (row < 0 || static_cast<std::size_t>(row) >= log.Items().size()) continue;
    if (!text.empty()) text += "\r\n";
    text += log.Items()[static_cast<std::size_t>(row)];
  }
  return text;
}

HMENU ChoiceMenu(const int (&choices)[6], int firstId, std::chrono::milliseconds current) {
  HMENU menu = ::CreatePopupMenu();
  int checked = -1;
  for (int i = 0; i < 6; ++i) {
    ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(firstId + i),
                  (std::to_wstring(choices[i]) + L" ms").c_str());
    if (current.count() == choices[i]) checked = i;
  }
  if (checked >= 0) {
    ::CheckMenuRadioItem(menu, static_cast<UINT>(firstId), static_cast<UINT>(firstId + 5),
                         static_cast<UINT>(firstId + checked), MF_BYCOMMAND);
  }
  return menu;
}

}  // namespace

LogMenu::LogMenu(Form1& form, HWND window, HWND list)
    : form_(form), window_(window), list_(list), bytes_(window) {
  ::SetWindowSubclass(list_, ListProc, 0, reinterpret_cast<DWORD_PTR>(this));
  // A failed write stops the capture; the server goes on.
  captureStops_ =
      std::make_unique<EventSubscription>(form_.Events, [this](const ConnectionEvent& event) {
        if (event.Kind == EventKind::kCaptureStopped) {
          Warn(Wide("The capture has stopped.\n\n" + std::string(event.Text)));
        }
      });
}

LogMenu::~LogMenu() { ::RemoveWindowSubclass(list_, ListProc, 0); }

LRESULT CALLBACK LogMenu::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR self) {
  // Ctrl+C and Ctrl+A reach the list as the control characters they type.
  if (message == WM_CHAR && (wParam == 3 || wParam == 1)) {
    reinterpret_cast<LogMenu*>(self)->OnCommand(wParam == 3 ? kMenuCopy : kMenuSelectAll);
    return 0;
  }
  return ::DefSubclassProc(list, message, wParam, lParam);
}

void LogMenu::Show(int x, int y) {
  if (x == -1 && y == -1) {
    RECT rect{};
    ::GetWindowRect(list_, &rect);
    x = rect.left;
    y = rect.top;
  }
  const bool selected = ::SendMessageW(list_, LB_GETSELCOUNT, 0, 0) > 0;
  HMENU menu = ::CreatePopupMenu();
  ::AppendMenuW(menu, MF_STRING | (selected ? 0 : MF_GRAYED), kMenuCopy, L"Copy\tCtrl+C");
  ::AppendMenuW(menu, MF_STRING, kMenuSelectAll, L"Select All\tCtrl+A");
  ::AppendMenuW(menu, MF_STRING, kMenuSaveLog, L"Save Log As\u2026");
  ::AppendMenuW(menu, MF_STRING | (form_.LogDetail.Checked() ? MF_CHECKED : MF_UNCHECKED),
                kMenuLogDetail, L"Show Time and Connection");
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, kMenuCapture,
                form_.Capture.IsOpen() ? L"Stop Capture" : L"Start Capture\u2026");
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING | MF_GRAYED, kMenuListening,
                Wide("Listening on " + ListeningAddress(form_)).c_str());
  ::AppendMenuW(
      menu, MF_POPUP,
      reinterpret_cast<UINT_PTR>(ChoiceMenu(kTickChoicesMs, kMenuTick, form_.TickInterval)),
      L"Tick");
  ::AppendMenuW(menu, MF_POPUP,
                reinterpret_cast<UINT_PTR>(
                    ChoiceMenu(kAcceptDelayChoicesMs, kMenuAcceptDelay, form_.AcceptDelay)),
                L"Accept Delay");
  // The chosen item comes back as WM_COMMAND to the window.
  ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, x, y, 0, window_, nullptr);
  ::DestroyMenu(menu);
}

bool LogMenu::OnCommand(int id) {
  if (id >= kMenuTick && id < kMenuTick + 6) {
    // Timer1 re-arms at its next tick.
    form_.TickInterval = std::chrono::milliseconds(kTickChoicesMs[id - kMenuTick]);
    return true;
  }
  if (id >= kMenuAcceptDelay && id < kMenuAcceptDelay + 6) {
    form_.AcceptDelay = std::chrono::milliseconds(kAcceptDelayChoicesMs[id - kMenuAcceptDelay]);
    return true;
  }
  switch (id) {
    case kMenuCopy:
      Copy();
      return true;
    case kMenuSelectAll:
      ::SendMessageW(list_, LB_SETSEL, TRUE, -1);
      return true;
    case kMenuSaveLog:
      SaveLogAs();
      return true;
    case kMenuCapture:
      if (form_.Capture.IsOpen()) {
        form_.StopCapture();
      } else {
        StartCapture();
      }
      return true;
    case kMenuListening:
      return true;
    case kMenuLogDetail:
      form_.SetLogDetail(!form_.LogDetail.Checked());
      return true;
    default:
      return false;
  }
}

void LogMenu::Copy() {
  const std::string text = SelectedLines(list_, form_.List1);
  if (!text.empty()) PutOnClipboard(window_, Wide(text));
}

void LogMenu::ShowBytes() {
  const auto row = ::SendMessageW(list_, LB_GETCARETINDEX, 0, 0);
  if (row < 0) return;
  // A line's number stays its own while older lines are dropped.
  const std::uint64_t number = form_.List1.FirstNumber() + static_cast<std::uint64_t>(row);
  if (bytes_.BringForward(number)) return;
  const std::string text = UnknownPacketText(form_, static_cast<std::size_t>(row));
  if (!text.empty()) bytes_.Open(number, Wide(WindowsLines(text)));
}

std::wstring LogMenu::AskPath(const wchar_t* title, const wchar_t* name, const wchar_t* filter) {
  std::wstring path(MAX_PATH, L'\0');
  path.replace(0, wcslen(name), name);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrTitle = title;
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!::GetSaveFileNameW(&dialog)) return {};
  path.resize(wcslen(path.c_str()));
  return path;
}

void LogMenu::SaveLogAs() {
  const std::wstring path =
      AskPath(L"Save Log As", L"quib-log.txt", L"Text files (*.txt)\0*.txt\0All files\0*.*\0");
  if (path.empty()) return;
  const std::string text = LogText(form_.List1);
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  bool saved = file != INVALID_HANDLE_VALUE &&
               ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size();
  DWORD error = saved ? ERROR_SUCCESS : ::GetLastError();
  // The last of the text may only reach the disk on closing.
  if (file != INVALID_HANDLE_VALUE && !::CloseHandle(file) && saved) {
    saved = false;
    error = ::GetLastError();
  }
  if (!saved) {
    Warn(L"Unable to save the log to " + path + L": " + Wide(SystemError(error)));
    return;
  }
  bool lossy = false;
  form_.Tell("Log saved to " + Narrow(path, lossy));
}

void LogMenu::StartCapture() {
  const std::wstring path = AskPath(L"Start Capture", L"quib-capture.pcapng",
                                    L"Capture files (*.pcapng)\0*.pcapng\0All files\0*.*\0");
  if (path.empty()) return;
  // The capture opens its file by a narrow name: a path the code page
  // cannot spell is refused rather than bent into another file's name.
  bool lossy = false;
  const std::string narrow = Narrow(path, lossy);
  if (lossy || narrow.empty()) {
    return Warn(L"This path cannot be used for a capture file: " + path);
  }
  std::string error;
  if (!form_.StartCapture(narrow, error)) Warn(Wide(error));
}

void LogMenu::Warn(const std::wstring& text) {
  ::MessageBoxW(window_, text.c_str(), L"Quib-Server", MB_OK | MB_ICONWARNING);
}

}  // namespace quib
