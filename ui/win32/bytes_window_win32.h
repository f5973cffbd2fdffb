// The bytes behind an "Unknown Packet" line, each line's in a small window of
// its own beside the log: one window a log line, brought forward when
// its line is asked for again. Escape or its Close button closes it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

namespace quib {

// The class of the window that shows a packet's bytes (caption "Packet Bytes").
inline constexpr wchar_t kBytesWindowClass[] = L"QuibServerPacketBytes";
// Its Close button: a click, or Escape, sends this command.
inline constexpr int kBytesCloseId = IDCANCEL;

class BytesWindows {
 public:
  // The windows are owned by `owner`: above it, and gone with it. They open
  // beside it, never over `log`, its list, when the screen has room.
  BytesWindows(HWND owner, HWND log) : owner_(owner), log_(log) {}
  ~BytesWindows();
  BytesWindows(const BytesWindows&) = delete;
  BytesWindows& operator=(const BytesWindows&) = delete;

  // Log line `number`'s window to the front; false when it has none open.
  bool BringForward(std::uint64_t number) const;
  // A new window for log line `number`, showing `text` (lines broken with
  // CR LF).
  void Open(std::uint64_t number, const std::wstring& text);

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Forget(HWND window);

  HWND owner_;
  HWND log_;
  std::map<std::uint64_t, HWND> open_;  // log line number -> its window
};

// Sizes in pixels at 96 dots an inch, for the screen's.
int Scaled(int pixels);
// Registers, once, the class `name` of a small window beside the main one:
// the button face, an arrow cursor, `proc`.
void RegisterSmallWindowClass(const wchar_t* name, WNDPROC proc);

// Escape pressed in a bytes window, whichever of its controls has the focus,
// closes it: true then, and the key is not to be dispatched.
bool CloseBytesWindowOnEscape(const MSG& message);

}  // namespace quib
