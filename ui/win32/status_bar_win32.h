// The window's status bar, below the designed client area: what the server
// is doing (StatusText), and for a few seconds what the last command did.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "protocol/connection_events.h"

namespace quib {

class Form1;

// The bar's control id in the main window, and the timer that ends an
// outcome's showing.
inline constexpr int kStatusBarId = 300;
inline constexpr UINT_PTR kOutcomeTimer = 2;

class StatusBar {
 public:
  // The bar at the bottom of `window`; it shows what the form tells.
  StatusBar(Form1& form, HWND window);
  ~StatusBar();
  StatusBar(const StatusBar&) = delete;
  StatusBar& operator=(const StatusBar&) = delete;

  // Its height in pixels: the window's client area is the designed one and
  // this below it.
  int Height() const;
  // WM_SIZE: the bar takes the bottom of the window again.
  void Follow() const;
  // The lasting text as it is now, unless an outcome still shows.
  void Refresh();
  // WM_TIMER: true when it was the outcome's, which then makes way.
  bool OnTimer(UINT_PTR id);

 private:
  void Show(const std::string& text);

  Form1& form_;
  HWND window_;
  HWND bar_;
  bool outcomeShows_ = false;
  std::string shown_;
  std::unique_ptr<EventSubscription> outcomes_;
};

}  // namespace quib
