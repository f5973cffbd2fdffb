// "Faults…" in the Windows window: the faults set, each with its number and
// how often it fired; a fault added from a SPEC line, the selected one
// removed. One window, not modal, brought forward when asked for again.
#pragma once

#include <windows.h>

namespace quib {

class Form1;

// The class of the faults window (caption "Faults"), and its controls' ids.
inline constexpr wchar_t kFaultsWindowClass[] = L"QuibServerFaults";
inline constexpr int kFaultListId = 1;
inline constexpr int kFaultSpecId = 2;
inline constexpr int kFaultAddId = 3;
inline constexpr int kFaultRemoveId = 4;
inline constexpr int kFaultErrorId = 5;

class FaultsWindow {
 public:
  FaultsWindow(Form1& form, HWND owner) : form_(form), owner_(owner) {}
  ~FaultsWindow();
  FaultsWindow(const FaultsWindow&) = delete;
  FaultsWindow& operator=(const FaultsWindow&) = delete;

  // Opens the window, or brings it forward.
  void Show();
  // Shows the faults as they stand now.
  void Refresh();

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Add();
  void RemoveSelected();

  Form1& form_;
  HWND owner_;
  HWND window_ = nullptr;
};

}  // namespace quib
