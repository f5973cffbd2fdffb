// The log's extras on Windows, as the Qt window has them: a context menu on
// List1 (copy, select all, save, the time and connection on each line,
// capture, journal, the server's cadence), Ctrl+C and Ctrl+A on the list, and the
// bytes behind an "Unknown Packet" line on a double-click. The designed
// layout stays as it is.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "app/log_menu.h"
#include "protocol/connection_events.h"
#include "ui/win32/bytes_window_win32.h"
#include "ui/win32/connections_window_win32.h"
#include "ui/win32/faults_window_win32.h"

namespace quib {

class Form1;

// The menu's items as WM_COMMAND ids on the main window: one id a command, a
// Tick or Accept Delay choice its first id plus the choice's index.
inline constexpr int kFirstMenuId = 201;
inline constexpr int kMenuTick = 220;
inline constexpr int kMenuAcceptDelay = 240;
constexpr int MenuIdOf(LogMenuCommand command, std::size_t choice = 0) {
  if (command == LogMenuCommand::kTick) return kMenuTick + static_cast<int>(choice);
  if (command == LogMenuCommand::kAcceptDelay) return kMenuAcceptDelay + static_cast<int>(choice);
  return kFirstMenuId + static_cast<int>(command);
}
inline constexpr int kMenuSelectAll = MenuIdOf(LogMenuCommand::kSelectAll);
inline constexpr int kMenuLogDetail = MenuIdOf(LogMenuCommand::kLogDetail);

class LogMenu : public LogMenuWindow {
 public:
  LogMenu(Form1& form, HWND window, HWND list);
  ~LogMenu();
  LogMenu(const LogMenu&) = delete;
  LogMenu& operator=(const LogMenu&) = delete;

  // WM_CONTEXTMENU at screen point (x, y); -1, -1 when from the keyboard.
  void Show(int x, int y);
  // A menu command; false when `id` is none of the menu's.
  bool OnCommand(int id);
  // LBN_DBLCLK: the bytes of the line under the caret, in that line's own
  // window.
  void ShowBytes();

 private:
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR self);
  void CopySelection() override;
  void SelectAllLines() override;
  void SaveLogAs() override;
  void StartCapture() override;
  void StartJournal() override;
  // Asks for a file as `dialog` offers, and starts writing it with `start`.
  void StartFile(const SaveDialogDefaults& dialog,
                 bool (Form1::*start)(const std::string&, std::string&));
  // The settings stand in this window's menu itself.
  void ShowServerSettings() override {}
  void ShowFaults() override { faults_.Show(); }
  void ShowConnections() override { connections_.Show(); }
  std::wstring AskPath(const SaveDialogDefaults& defaults);
  void Warn(const std::wstring& text);

  Form1& form_;
  HWND window_;
  HWND list_;
  BytesWindows bytes_;
  FaultsWindow faults_;
  ConnectionsWindow connections_;
  std::unique_ptr<EventSubscription> captureStops_;  // a warning when the capture stops
};

}  // namespace quib
