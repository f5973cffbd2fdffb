// "Connections…" on Windows, as the Qt window has it: a small window owned by
// the main one, with a row per connection (app/connection_rows.h) refreshed
// twice a second, a box for bytes to send, and a button for each thing the
// operator does to the selected row (app/connection_actions.h). Not modal.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "app/connection_actions.h"

namespace quib {

class Form1;

// The window's class (caption "Connections") and its controls' ids, by which
// a test drives it: the captions, the rows, the bytes box, then one button an
// action, in the order of kConnectionActions.
inline constexpr wchar_t kConnectionsWindowClass[] = L"QuibServerConnections";
inline constexpr int kConnectionsHeaderId = 1;
inline constexpr int kConnectionsListId = 2;
inline constexpr int kConnectionsBytesId = 3;
inline constexpr int kConnectionsFirstActionId = 10;

class ConnectionsWindow {
 public:
  ConnectionsWindow(Form1& form, HWND owner) : form_(form), owner_(owner) {}
  ~ConnectionsWindow();
  ConnectionsWindow(const ConnectionsWindow&) = delete;
  ConnectionsWindow& operator=(const ConnectionsWindow&) = delete;

  // Opens the window, or brings it forward when it is open.
  void Show();

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void BuildControls();
  void LayOut(int width, int height);
  void Refresh();
  void Run(ConnectionAction action);

  Form1& form_;
  HWND owner_;
  HWND window_ = nullptr;
  std::vector<std::uint64_t> numbers_;  // the connection of each row shown
};

}  // namespace quib
