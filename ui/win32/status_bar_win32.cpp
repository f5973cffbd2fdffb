#include "ui/win32/status_bar_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>

#include "app/main_window.h"
#include "platform/text_win32.h"

namespace quib {

namespace {

// One line: a reason may come in several.
std::wstring OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return WideText(text);
}

// The tip's tool: the whole bar.
TOOLINFOW BarTool(HWND window, HWND bar, const wchar_t* text) {
  TOOLINFOW tool{};
  // The size every version of the common controls takes.
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window;
  tool.uId = reinterpret_cast<UINT_PTR>(bar);
  tool.lpszText = const_cast<wchar_t*>(text);
  return tool;
}

}  // namespace

HFONT CreateStatusFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return ::CreateFontIndirectW(&metrics.lfStatusFont);
}

int StatusPartPadding(HWND bar) {
  // A section's border width, its height and the gap between two; inside
  // the border the text keeps a margin on either side.
  int borders[3] = {};
  ::SendMessageW(bar, SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(borders));
  return 2 * borders[0] + borders[2] + 6 * ::GetSystemMetrics(SM_CXEDGE);
}

StatusBar::StatusBar(Form1& form, HWND window)
    : form_(form),
      window_(window),
      bar_(::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0,
                             0, 0, window,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                             ::GetModuleHandleW(nullptr), nullptr)),
      font_(CreateStatusFont()) {
  ::SendMessageW(bar_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  // The whole text wherever the bar is pointed at, whether a section is cut
  // or not: the bar's own tips show only for a text cut at its section's end.
  tip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                           WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
  TOOLINFOW tool = BarTool(window_, bar_, L"");
  ::SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  // A long text breaks at its spaces.
  ::SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, ::GetSystemMetrics(SM_CXSCREEN) / 2);
  told_ = std::make_unique<EventSubscription>(
      form_.Events, KindsOf({EventKind::kOutcome}), [this](const ConnectionEvent& event) {
        outcomes_.Add(std::string(event.Text), OutcomeQueue::Clock::now());
        ShowOutcome();
      });
  Follow();
}

StatusBar::~StatusBar() {
  ::KillTimer(window_, kOutcomeTimer);
  if (::IsWindow(tip_)) ::DestroyWindow(tip_);
  if (::IsWindow(bar_)) ::SendMessageW(bar_, WM_SETFONT, 0, FALSE);
  ::DeleteObject(font_);
}

int StatusBar::Height() const {
  RECT rect{};
  ::GetWindowRect(bar_, &rect);
  return rect.bottom - rect.top;
}

void StatusBar::Follow() {
  ::SendMessageW(bar_, WM_SIZE, 0, 0);
  Refresh();
}

void StatusBar::Refresh() {
  std::vector<StatusSection> sections = StatusSections(form_);
  RECT client{};
  ::GetClientRect(bar_, &client);
  // The grip takes the bar's bottom right corner.
  const int width = client.right - ::GetSystemMetrics(SM_CXVSCROLL);
  // Every tick refreshes: no repaint for nothing.
  if (sections == sections_ && width == fittedWidth_) return;
  sections_ = std::move(sections);
  fittedWidth_ = width;
  ShowSections();
}

bool StatusBar::OnTimer(UINT_PTR id) {
  if (id != kOutcomeTimer) return false;
  ShowOutcome();
  return true;
}

// The outcome that shows now over the sections, or the sections again; the
// timer wakes the bar when that changes next.
void StatusBar::ShowOutcome() {
  const auto now = OutcomeQueue::Clock::now();
  const std::string* shown = outcomes_.Shown(now);
  const std::string text = shown != nullptr ? *shown : std::string();
  if (text != outcomeShown_) {
    outcomeShown_ = text;
    if (shown != nullptr) {
      const std::wstring wide = OneLine(text);
      ::SendMessageW(bar_, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    ::SendMessageW(bar_, SB_SIMPLE, shown != nullptr, 0);
  }
  ::KillTimer(window_, kOutcomeTimer);
  if (const auto next = outcomes_.NextChange()) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    ::SetTimer(window_, kOutcomeTimer,
               static_cast<UINT>(std::max<std::int64_t>(USER_TIMER_MINIMUM, wait)), nullptr);
  }
}

void StatusBar::ShowSections() {
  HDC dc = ::GetDC(bar_);
  const HGDIOBJ previous = ::SelectObject(dc, font_);
  const int padding = StatusPartPadding(bar_);
  const auto measure = [dc, padding](const std::string& text) {
    const std::wstring wide = OneLine(text);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    return static_cast<int>(size.cx) + padding;
  };
  std::vector<std::string> texts = FitStatus(sections_, fittedWidth_, measure);
  std::erase(texts, std::string());  // sections left out
  std::vector<int> edges;
  int right = 0;
  for (const std::string& text : texts) edges.push_back(right += measure(text));
  edges.back() = -1;  // the last goes on to the bar's end
  ::SelectObject(dc, previous);
  ::ReleaseDC(bar_, dc);

  ::SendMessageW(bar_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::wstring wide = OneLine(texts[i]);
    ::SendMessageW(bar_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  // The tip keeps a copy of its text.
  const std::wstring whole = OneLine(StatusText(sections_));
  TOOLINFOW tool = BarTool(window_, bar_, whole.c_str());
  ::SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace quib
