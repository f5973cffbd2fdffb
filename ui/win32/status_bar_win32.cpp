#include "ui/win32/status_bar_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>

#include "app/main_window.h"
#include "app/status_text.h"
#include "platform/text_win32.h"

namespace quib {

StatusBar::StatusBar(Form1& form, HWND window)
    : form_(form),
      window_(window),
      bar_(::CreateWindowExW(0, STATUSCLASSNAMEW, L"",
                             WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | SBT_TOOLTIPS, 0, 0, 0, 0,
                             window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                             ::GetModuleHandleW(nullptr), nullptr)) {
  outcomes_ =
      std::make_unique<EventSubscription>(form_.Events, [this](const ConnectionEvent& event) {
        if (event.Kind != EventKind::kOutcome) return;
        Show(std::string(event.Text));
        outcomeShows_ = true;
        // A newer outcome shows its full time.
        ::SetTimer(window_, kOutcomeTimer,
                   static_cast<UINT>(std::chrono::milliseconds(kOutcomeShown).count()), nullptr);
      });
  Refresh();
}

StatusBar::~StatusBar() { ::KillTimer(window_, kOutcomeTimer); }

int StatusBar::Height() const {
  RECT rect{};
  ::GetWindowRect(bar_, &rect);
  return rect.bottom - rect.top;
}

void StatusBar::Follow() const { ::SendMessageW(bar_, WM_SIZE, 0, 0); }

void StatusBar::Refresh() {
  if (!outcomeShows_) Show(StatusText(form_));
}

bool StatusBar::OnTimer(UINT_PTR id) {
  if (id != kOutcomeTimer) return false;
  ::KillTimer(window_, kOutcomeTimer);
  outcomeShows_ = false;
  Refresh();
  return true;
}

void StatusBar::Show(const std::string& text) {
  if (text == shown_) return;  // every tick refreshes: no repaint for nothing
  shown_ = text;
  // One line: a reason may come in several.
  std::string line = text;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  const std::wstring wide = WideText(line);
  ::SendMessageW(bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  // At the designed width the whole text may not fit: its tip has it all.
  ::SendMessageW(bar_, SB_SETTIPTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

}  // namespace quib
