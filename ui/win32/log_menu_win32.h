// The log's extras on Windows, as the Qt window has them: a context menu on
// List1 (copy, select all, save, the time and connection on each line,
// capture, the server's cadence), Ctrl+C and Ctrl+A on the list, and the
// bytes behind an "Unknown Packet" line on a double-click. The designed
// layout stays as it is.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "protocol/connection_events.h"
#include "ui/win32/ansi_text_win32.h"
#include "ui/win32/bytes_window_win32.h"

namespace quib {

class Form1;

// The menu's commands: WM_COMMAND with one of these ids on the main window
// does what the item does.
enum LogMenuId : int {
  kMenuCopy = 201,
  kMenuSelectAll,
  kMenuSaveLog,
  kMenuCapture,  // "Start Capture…" or "Stop Capture"
  kMenuListening,
  kMenuLogDetail,          // "Show Time and Connection", checked while it is on
  kMenuTick = 220,         // + the index into kTickChoicesMs
  kMenuAcceptDelay = 240,  // + the index into kAcceptDelayChoicesMs
};
inline constexpr int kTickChoicesMs[] = {10, 50, 100, 250, 500, 1000};
inline constexpr int kAcceptDelayChoicesMs[] = {0, 100, 250, 500, 1000, 2000};

class LogMenu {
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
  void Copy();
  void SaveLogAs();
  void StartCapture();
  std::wstring AskPath(const wchar_t* title, const wchar_t* name, const wchar_t* filter);
  void Warn(const std::wstring& text);

  Form1& form_;
  HWND window_;
  HWND list_;
  BytesWindows bytes_;
  std::unique_ptr<EventSubscription> captureStops_;  // a warning when the capture stops
};

}  // namespace quib
