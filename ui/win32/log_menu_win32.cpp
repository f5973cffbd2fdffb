// The log's context menu, shortcuts and bytes window on Windows. The text
// comes from the core (app/log_text.h), as the Qt window has it.
#include "ui/win32/log_menu_win32.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "app/log_text.h"
#include "app/main_window.h"
#include "platform/text_win32.h"

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

// A Tick or Accept Delay submenu, the value in force checked.
HMENU ChoiceMenu(const LogMenuItem& item) {
  HMENU menu = ::CreatePopupMenu();
  for (std::size_t i = 0; i < item.Choices.size(); ++i) {
    ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(MenuIdOf(item.Command, i)),
                  WideText(ChoiceCaption(item.Choices[i])).c_str());
  }
  if (item.Chosen >= 0) {
    const auto last = static_cast<UINT>(MenuIdOf(item.Command, item.Choices.size() - 1));
    ::CheckMenuRadioItem(
        menu, static_cast<UINT>(MenuIdOf(item.Command)), last,
        static_cast<UINT>(MenuIdOf(item.Command, static_cast<std::size_t>(item.Chosen))),
        MF_BYCOMMAND);
  }
  return menu;
}

void AppendItems(HMENU menu, const std::vector<LogMenuItem>& items) {
  for (const LogMenuItem& item : items) {
    if (item.SeparatorBefore) ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    if (item.Command == LogMenuCommand::kServerSettings) {
      // This window has no settings dialog: the settings stand in the menu.
      AppendItems(menu, item.Inside);
      continue;
    }
    std::wstring caption = WideText(item.Caption);
    if (!item.Shortcut.empty()) caption += L"\t" + WideText(item.Shortcut);
    if (!item.Choices.empty()) {
      ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(ChoiceMenu(item)), caption.c_str());
      continue;
    }
    const UINT flags =
        MF_STRING | (item.Enabled ? 0 : MF_GRAYED) | (item.Checked ? MF_CHECKED : MF_UNCHECKED);
    ::AppendMenuW(menu, flags, static_cast<UINT_PTR>(MenuIdOf(item.Command)), caption.c_str());
  }
}

// The dialog's filter: "Text files (*.txt)", then all files.
std::wstring Filter(const SaveDialogDefaults& defaults) {
  const std::wstring pattern = WideText(defaults.Pattern);
  std::wstring filter = WideText(defaults.FilterName) + L" (" + pattern + L")";
  filter += L'\0' + pattern + L'\0' + L"All files" + L'\0' + L"*.*" + L'\0';
  return filter;
}

}  // namespace

LogMenu::LogMenu(Form1& form, HWND window, HWND list)
    : form_(form),
      window_(window),
      list_(list),
      bytes_(window, list),
      faults_(form, window),
      connections_(form, window) {
  ::SetWindowSubclass(list_, ListProc, 0, reinterpret_cast<DWORD_PTR>(this));
  // A failed write stops the capture; the server goes on.
  captureStops_ = std::make_unique<EventSubscription>(
      form_.Events, KindsOf({EventKind::kCaptureStopped}), [this](const ConnectionEvent& event) {
        Warn(WideText("The capture has stopped.\n\n" + std::string(event.Text)));
      });
}

LogMenu::~LogMenu() { ::RemoveWindowSubclass(list_, ListProc, 0); }

LRESULT CALLBACK LogMenu::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR self) {
  // Ctrl+C and Ctrl+A reach the list as the control characters they type.
  if (message == WM_CHAR && (wParam == 3 || wParam == 1)) {
    auto& menu = *reinterpret_cast<LogMenu*>(self);
    RunLogMenuCommand(menu.form_, menu,
                      wParam == 3 ? LogMenuCommand::kCopy : LogMenuCommand::kSelectAll);
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
  AppendItems(menu, LogMenuItems(form_, selected));
  // The chosen item comes back as WM_COMMAND to the window.
  ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, x, y, 0, window_, nullptr);
  ::DestroyMenu(menu);
}

bool LogMenu::OnCommand(int id) {
  for (const auto& [command, choices] :
       {std::pair{LogMenuCommand::kTick, std::size(kTickChoicesMs)},
        std::pair{LogMenuCommand::kAcceptDelay, std::size(kAcceptDelayChoicesMs)}}) {
    const int first = MenuIdOf(command);
    if (id >= first && id < first + static_cast<int>(choices)) {
      RunLogMenuCommand(form_, *this, command, static_cast<std::size_t>(id - first));
      return true;
    }
  }
  const int command = id - kFirstMenuId;
  if (command < 0 || command >= static_cast<int>(LogMenuCommand::kTick)) return false;
  RunLogMenuCommand(form_, *this, static_cast<LogMenuCommand>(command));
  return true;
}

void LogMenu::SelectAllLines() { ::SendMessageW(list_, LB_SETSEL, TRUE, -1); }

void LogMenu::CopySelection() {
  const std::string text = SelectedLines(list_, form_.List1);
  if (!text.empty()) PutOnClipboard(window_, WideText(text));
}

void LogMenu::ShowBytes() {
  const auto row = ::SendMessageW(list_, LB_GETCARETINDEX, 0, 0);
  if (row < 0) return;
  // A line's number stays its own while older lines are dropped.
  const std::uint64_t number = form_.List1.FirstNumber() + static_cast<std::uint64_t>(row);
  if (bytes_.BringForward(number)) return;
  const std::string text = LineBytesText(form_, static_cast<std::size_t>(row));
  if (!text.empty()) bytes_.Open(number, WideText(WindowsLines(text)));
}

std::wstring LogMenu::AskPath(const SaveDialogDefaults& defaults) {
  const std::wstring name = WideText(defaults.FileName);
  const std::wstring title = WideText(defaults.Title);
  const std::wstring filter = Filter(defaults);
  std::wstring path(MAX_PATH, L'\0');
  path.replace(0, name.size(), name);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!::GetSaveFileNameW(&dialog)) return {};
  path.resize(wcslen(path.c_str()));
  return path;
}

void LogMenu::SaveLogAs() {
  const std::wstring path = AskPath(kSaveLogDialog);
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
    Warn(L"Unable to save the log to " + path + L": " + WideText(SystemErrorText(error)));
    return;
  }
  form_.Tell("Log saved to " + Utf8Text(path));
}

void LogMenu::StartCapture() { StartFile(kCaptureDialog, &Form1::StartCapture); }

void LogMenu::StartJournal() { StartFile(kJournalDialog, &Form1::StartJournal); }

void LogMenu::StartFile(const SaveDialogDefaults& dialog,
                        bool (Form1::*start)(const std::string&, std::string&)) {
  const std::wstring path = AskPath(dialog);
  if (path.empty()) return;
  // The file is opened by its UTF-8 name, which spells every path the dialog
  // can give.
  const std::string utf8 = Utf8Text(path);
  if (utf8.empty()) return Warn(L"This path cannot be used for this file: " + path);
  std::string error;
  if (!(form_.*start)(utf8, error)) Warn(WideText(error));
}

void LogMenu::Warn(const std::wstring& text) {
  ::MessageBoxW(window_, text.c_str(), L"Quib-Server", MB_OK | MB_ICONWARNING);
}

}  // namespace quib
