// Driving the Windows program's window from another process: quib-server.exe
// is started, its window found by class and caption, and its controls read
// and driven with window messages. Needs a display (under Wine: Xvfb and a
// Wine session started with it).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/form_layout.h"
#include "ui/win32/form_controls_win32.h"

namespace quib::test {

// A quib-server.exe child with its standard error on a pipe.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();

  bool Start(const std::wstring& args);
  // Standard error until it holds `pattern`'s first group, or nullopt.
  std::optional<std::string> WaitForError(const std::regex& pattern);
  // The visible top-level window of this process with `className` and
  // `caption` (any caption when null).
  HWND FindWindowOf(const wchar_t* className, const wchar_t* caption);
  // Every visible top-level window of this process with `className`.
  std::vector<HWND> WindowsOf(const wchar_t* className);
  // The exit status, or nullopt when it runs on past `timeoutMs`.
  std::optional<DWORD> Wait(DWORD timeoutMs = 10000);
  HANDLE Process() const { return process_; }

 private:
  HANDLE process_ = nullptr;
  HANDLE error_ = nullptr;
  DWORD id_ = 0;
  std::string text_;
};

// A control's text as its own window procedure gives it (GetWindowText would
// give another process only the caption it was created with).
std::wstring Text(HWND window);
// `window`'s place in the client area of `parent`.
RECT PlaceIn(HWND window, HWND parent);
std::vector<std::string> ListLines(HWND list);
std::wstring ClipboardText();
// The pixels of `window` as the screen shows them, row by row.
std::vector<COLORREF> ScreenPixels(HWND window);
// The window as the screen shows it, to a .bmp file: for people, not asserted.
void SaveScreenshot(HWND window, const char* path);
// The control that has the keyboard focus in `window`'s thread.
HWND FocusOf(HWND window);
// Polls `condition` for up to `timeout`.
bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A section of the status bar: its text, and its left and right edges.
struct BarPart {
  std::wstring Text;
  int Left = 0;
  int Right = 0;
};

// The program in window mode, at the fast cadence, with its window found.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  int Px(int twips) const { return TwipsToPixels(twips, dpi); }
  HWND Control(FormControl control) const { return ::GetDlgItem(window, ControlIdOf(control)); }
  // What the window's status bar shows now: an outcome, or its first section.
  std::wstring Status() const;
  // Whether an outcome shows over the sections.
  bool OutcomeShows() const;
  // The sections, while no outcome shows.
  std::vector<BarPart> StatusParts() const;
  // The text of the bar's tooltip.
  std::wstring StatusTip() const;

  Child server;
  int dpi = 96;
  int port = 0;
  HWND window = nullptr;
};

}  // namespace quib::test
