// The window on Windows (user32 and common controls). Every event is one call
// into Form1; the controls mirror its models both ways and hold no state of
// their own. The log and the boxes' text is handed over in the ANSI code page,
// one byte a character, as the protocol sends it.
#include <winsock2.h>

#include <windows.h>

#include "ui/win32/window_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "platform/text_win32.h"
#include "startup/program_options.h"
#include "startup/window_mode.h"
#include "ui/win32/form_controls_win32.h"
#include "ui/win32/log_menu_win32.h"
#include "ui/win32/status_bar_win32.h"

namespace quib {

namespace {

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kDeadlineTimer = 3;  // the next write a fault holds back

std::string WindowText(HWND control) {
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(control)) + 1, '\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

// SetDigitsOnly as the form has it: the edit control's own ES_NUMBER style.
void SetDigitsOnly(HWND edit, bool flag) {
  LONG style = ::GetWindowLongA(edit, GWL_STYLE);
  style = flag ? (style | ES_NUMBER) : (style & ~static_cast<LONG>(ES_NUMBER));
  ::SetWindowLongA(edit, GWL_STYLE, style);
}

class Window {
 public:
  explicit Window(Form1& form) : form_(form) {}
  ~Window() { Unbind(); }

  bool Create();
  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK RWinProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR, DWORD_PTR self);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  int Px(int twips) const { return TwipsToPixels(twips, dpi_); }
  HWND Control(FormControl control) const { return ::GetDlgItem(window_, ControlIdOf(control)); }
  void BuildControls();
  TextBox* BoxOf(FormControl control);
  void BindTextBox(FormControl control, TextBox& box);
  void BindModels();
  void Unbind();
  void OnCommand(int id, int code);
  void OnTextEdited(FormControl control);
  void ShowBoxText(HWND edit, const std::string& text);
  void AppendLogLine(const std::string& line);
  void ArmTimer();
  void ArmDeadline();
  void RefreshStatus();
  // The designed client area and the status bar below it, in a window frame.
  SIZE FrameSize() const;

  Form1& form_;
  HWND window_ = nullptr;
  std::unique_ptr<FormControls> controls_;
  int dpi_ = 96;
  bool mirroring_ = false;  // a model is being shown: no edit goes back to it
  std::chrono::milliseconds armed_{0};
  std::unique_ptr<LogMenu> logMenu_;  // List1's context menu and shortcuts
  std::unique_ptr<StatusBar> statusBar_;
};

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;

bool Window::Create() {
  HDC screen = ::GetDC(nullptr);
  dpi_ = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);

  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = Proc;
  windowClass.hInstance = instance;
  // The program's icon (icon group 1, packaging/windows/version.rc.in); a
  // build without it gets the system's.
  windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (windowClass.hIcon == nullptr) windowClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  ::RegisterClassExW(&windowClass);

  // Without WS_CLIPCHILDREN: the window paints the face beneath the frame,
  // which draws only its border and caption.
  const SIZE designed = FrameSize();
  window_ = ::CreateWindowExW(0, kWindowClass, WideText(kFormCaption).c_str(), kWindowStyle,
                              Px(kFormPlace.Left), Px(kFormPlace.Top), designed.cx, designed.cy,
                              nullptr, nullptr, instance, this);
  if (window_ == nullptr) return false;
  BuildControls();
  statusBar_ = std::make_unique<StatusBar>(form_, window_);
  // The bar's height is known now: it goes below the designed area.
  const SIZE size = FrameSize();
  ::SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  BindModels();
  logMenu_ = std::make_unique<LogMenu>(form_, window_, Control(FormControl::List1));
  // rWin's part: Windows Sockets posts the mouse-move message to it for each
  // waiting connection.
  ::WSAAsyncSelect(static_cast<SOCKET>(form_.LoginServer.Socket), Control(FormControl::rWin),
                   kAcceptMessage, FD_ACCEPT);
  ArmTimer();
  RefreshStatus();
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::UpdateWindow(window_);
  return true;
}

void Window::BuildControls() {
  controls_ = std::make_unique<FormControls>(window_, dpi_);
  for (int i = 0; i < 2; ++i) {
    SetDigitsOnly(Control(i == 0 ? FormControl::Pos_0 : FormControl::Pos_1),
                  form_.Pos[i].DigitsOnly());
  }
  ::SetWindowSubclass(Control(FormControl::rWin), RWinProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

TextBox* Window::BoxOf(FormControl control) {
  switch (control) {
    case FormControl::Text2:
      return &form_.Text2;
    case FormControl::Pos_0:
      return &form_.Pos[0];
    case FormControl::Pos_1:
      return &form_.Pos[1];
    case FormControl::Text1:
      return &form_.Text1;
    default:
      return nullptr;
  }
}

// The edit shows the model's text; the caret stays where it was, as far as
// the text goes, so that typing goes on where it was.
void Window::ShowBoxText(HWND edit, const std::string& text) {
  DWORD caret = 0;
  ::SendMessageW(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
  mirroring_ = true;
  ::SetWindowTextA(edit, text.c_str());
  mirroring_ = false;
  const auto at = static_cast<WPARAM>(std::min<std::size_t>(caret, text.size()));
  ::SendMessageW(edit, EM_SETSEL, at, static_cast<LPARAM>(at));
}

void Window::BindTextBox(FormControl control, TextBox& box) {
  HWND edit = Control(control);
  mirroring_ = true;
  ::SetWindowTextA(edit, box.Text().c_str());
  mirroring_ = false;
  box.OnChange = [this, edit, &box] {
    // The map name and the start cell are in the status bar's warp target.
    RefreshStatus();
    if (WindowText(edit) != box.Text()) ShowBoxText(edit, box.Text());
  };
}

void Window::BindModels() {
  for (const FormRow& row : FormRows()) {
    if (TextBox* box = BoxOf(row.Control)) BindTextBox(row.Control, *box);
  }

  auto showCheck = [this] {
    ::SendMessageW(Control(FormControl::Check1), BM_SETCHECK,
                   form_.Check1.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
  };
  showCheck();
  form_.Check1.OnChange = showCheck;

  auto showOption = [this] {
    const int selected = form_.Option1.Selected();
    ::SendMessageW(Control(FormControl::Option1_0), BM_SETCHECK,
                   selected == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    ::SendMessageW(Control(FormControl::Option1_1), BM_SETCHECK,
                   selected == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
  };
  showOption();
  form_.Option1.OnChange = showOption;

  for (const auto& line : form_.List1.Items()) AppendLogLine(line);
  form_.List1.OnAppend = [this](const std::string& line) { AppendLogLine(line); };
  form_.List1.OnClear = [this] {
    ::SendMessageW(Control(FormControl::List1), LB_RESETCONTENT, 0, 0);
  };
  form_.List1.OnDropOldest = [this] {
    ::SendMessageW(Control(FormControl::List1), LB_DELETESTRING, 0, 0);
  };
}

void Window::Unbind() {
  logMenu_.reset();
  statusBar_.reset();
  form_.DetachViews();
  controls_.reset();
}

void Window::AppendLogLine(const std::string& line) {
  // Follow the newest line unless the user has scrolled up to read.
  HWND list = Control(FormControl::List1);
  const auto count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
  const auto top = ::SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  RECT client{};
  ::GetClientRect(list, &client);
  const auto rowHeight = std::max<LRESULT>(1, ::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
  const bool atEnd = top + (client.bottom - client.top) / rowHeight >= count;
  ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  if (atEnd) ::SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(count), 0);
}

void Window::OnTextEdited(FormControl control) {
  if (mirroring_) return;
  TextBox* box = BoxOf(control);
  if (box == nullptr) return;
  HWND edit = Control(control);
  // What the user typed goes through the model's own rules (a paste may
  // bring letters past ES_NUMBER, a map name may be too long, which the
  // model cuts and says); the box then shows what the model holds.
  if (!box->Type(WindowText(edit)) || WindowText(edit) != box->Text()) {
    ShowBoxText(edit, box->Text());
  }
}

void Window::OnCommand(int id, int code) {
  if (id < kFirstControlId || id >= kFirstControlId + static_cast<int>(kFormControlCount)) return;
  const auto control = static_cast<FormControl>(id - kFirstControlId);
  if (code == EN_CHANGE) return OnTextEdited(control);
  if (control == FormControl::List1 && code == LBN_DBLCLK && logMenu_) {
    return logMenu_->ShowBytes();
  }
  if (code != BN_CLICKED) return;
  switch (control) {
    case FormControl::Check1:
      form_.Check1.SetChecked(::SendMessageW(Control(FormControl::Check1), BM_GETCHECK, 0, 0) ==
                              BST_CHECKED);
      break;
    case FormControl::Option1_0:
      form_.Option1.Select(0);
      break;
    case FormControl::Option1_1:
      form_.Option1.Select(1);
      break;
    case FormControl::Command2:
      form_.Command2_Click();
      break;
    case FormControl::Command3:
      form_.Command3_Click();
      break;
    case FormControl::Command4:
      form_.Command4_Click();
      break;
    default:
      break;  // Command1 does nothing
  }
}

void Window::RefreshStatus() {
  if (statusBar_) statusBar_->Refresh();
}

SIZE Window::FrameSize() const {
  RECT frame{0, 0, Px(kFormPlace.Width),
             Px(kFormPlace.Height) + (statusBar_ ? statusBar_->Height() : 0)};
  ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

// Armed after each tick and each accept: the faults' held writes go at their
// time, not at the next tick.
void Window::ArmDeadline() {
  const auto due = form_.NextWriteDue();
  if (due == std::chrono::steady_clock::time_point::max()) {
    ::KillTimer(window_, kDeadlineTimer);
    return;
  }
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now())
          .count();
  ::SetTimer(window_, kDeadlineTimer,
             static_cast<UINT>(std::max<std::int64_t>(USER_TIMER_MINIMUM, ms)), nullptr);
}

void Window::ArmTimer() {
  armed_ = form_.TickInterval;
  ::SetTimer(window_, kTimer1,
             static_cast<UINT>(std::max<std::int64_t>(USER_TIMER_MINIMUM, armed_.count())),
             nullptr);
}

LRESULT CALLBACK Window::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT Window::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      // A menu item's command comes without a control.
      if (lParam == 0 && logMenu_ && logMenu_->OnCommand(LOWORD(wParam))) return 0;
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) != Control(FormControl::List1) || !logMenu_) break;
      logMenu_->Show(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      // Labels, check box and option buttons on the window's own face.
      HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_TIMER:
      if (statusBar_ && statusBar_->OnTimer(wParam)) return 0;
      if (wParam == kDeadlineTimer) {
        form_.RunDueWrites();
        ArmDeadline();
        return 0;
      }
      if (wParam != kTimer1) break;
      form_.PollConnections();
      RefreshStatus();
      // A judged run that is over ends the window as a stop would.
      if (StopIfDue(form_)) ::PostMessageW(window_, WM_CLOSE, 0, 0);
      ArmDeadline();
      // The rhythm may be changed while the server runs.
      if (form_.TickInterval != armed_) ArmTimer();
      return 0;
    case WM_SIZE: {
      if (wParam == SIZE_MINIMIZED) return 0;
      if (statusBar_) statusBar_->Follow();
      // The log grows with the window; the controls below it keep to the
      // bottom of the designed area, above the status bar.
      const int bar = statusBar_ ? statusBar_->Height() : 0;
      if (controls_) controls_->Layout(LOWORD(lParam), std::max(0, HIWORD(lParam) - bar));
      return 0;
    }
    case WM_GETMINMAXINFO: {
      // Nothing of the designed form is ever cut off.
      const SIZE smallest = FrameSize();
      reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {smallest.cx, smallest.cy};
      return 0;
    }
    case WM_DESTROY:
      ::KillTimer(window_, kTimer1);
      logMenu_.reset();
      statusBar_.reset();
      ::RemoveWindowSubclass(Control(FormControl::rWin), RWinProc, 0);
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Window::RWinProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR self) {
  // Every mouse-move message that reaches rWin accepts at most one
  // connection; its parameters are not read.
  if (message == kAcceptMessage) {
    auto* window = reinterpret_cast<Window*>(self);
    window->form_.AcceptPending();
    window->RefreshStatus();
    return 0;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

HWND g_mainWindow = nullptr;

// Set by a stop from the console, for the accept delay to see while it holds
// the window's loop.
std::atomic<bool> g_stopRequested{false};

// Ctrl+C or Ctrl+Break in the console the program was started from closes
// the window, which runs the unload step.
BOOL WINAPI OnConsoleEvent(DWORD) {
  g_stopRequested = true;
  ::PostMessageW(g_mainWindow, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

int RunWindowMode(const ProgramOptions& options) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);

  WindowCalls calls;
  calls.ShowStartFailure = [](const std::string& error) {
    ::MessageBoxW(nullptr, WideText(error).c_str(), WideText(kFormCaption).c_str(),
                  MB_OK | MB_ICONERROR);
  };
  calls.StopRequested = [] { return g_stopRequested.load(); };
  calls.RunWindow = [](Form1& form) {
    Window window(form);
    if (!window.Create()) {
      std::fprintf(stderr, "The window cannot be created.\n");
      return 1;
    }
    g_mainWindow = window.Handle();
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (CloseBytesWindowOnEscape(message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    return 0;
  };
  return RunWindowMode(options, calls);
}

}  // namespace quib
