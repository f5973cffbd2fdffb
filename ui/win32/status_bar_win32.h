// The window's status bar, below the designed client area: what the server
// is doing in sections fitted to the bar's width (StatusSections, FitStatus),
// the whole of it in the bar's tooltip, and over the sections, in turn, what
// the commands did (OutcomeQueue).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/outcome_queue.h"
#include "app/status_text.h"
#include "protocol/connection_events.h"

namespace quib {

class Form1;

// The bar's control id in the main window, and the timer that moves its
// outcomes on.
inline constexpr int kStatusBarId = 300;
inline constexpr UINT_PTR kOutcomeTimer = 2;

// The font the bar writes in: the system's status font. Its sections are
// measured in it.
HFONT CreateStatusFont();
// The room a section takes around its text, in pixels.
int StatusPartPadding(HWND bar);

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
  // WM_SIZE: the bar takes the bottom of the window again, and its sections
  // the new width.
  void Follow();
  // The sections as the server is now.
  void Refresh();
  // WM_TIMER: true when it was the outcomes', which then move on.
  bool OnTimer(UINT_PTR id);

 private:
  void ShowOutcome();
  void ShowSections();

  Form1& form_;
  HWND window_;
  HWND bar_;
  HWND tip_ = nullptr;  // the whole text, wherever the bar is pointed at
  HFONT font_;
  OutcomeQueue outcomes_;
  std::string outcomeShown_;             // empty while the sections show
  std::vector<StatusSection> sections_;  // as last shown
  int fittedWidth_ = -1;                 // the width they were fitted to
  std::unique_ptr<EventSubscription> told_;
};

}  // namespace quib
