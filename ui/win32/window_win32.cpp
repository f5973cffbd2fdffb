// The window on Windows (user32 and common controls). Every event is one call
// into Form1; the controls mirror its models both ways and hold no state of
// their own. Text is handed over in the ANSI code page, one byte a character,
// as the protocol sends it.
#include "ui/win32/window_win32.h"

// windows.h first: the common controls' header builds on its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window.h"
#include "startup/program_options.h"
#include "startup/start_server.h"
#include "ui/win32/log_menu_win32.h"

namespace quib {

namespace {

constexpr UINT_PTR kTimer1 = 1;
// The form as designed, in twips.
constexpr int kClientWidth = 7635;
constexpr int kClientHeight = 4830;
constexpr int kFrameLeft = 105;
constexpr int kFrameTop = 105;

// One control of the form: where Frame1's children stand is given relative
// to the frame, as the form gives it.
struct ControlSpec {
  ControlId Id;
  const wchar_t* Class;
  const wchar_t* Caption;
  int Left, Top, Width, Height;
  DWORD Style;
  DWORD ExStyle;
  bool InFrame;
};

constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kEdit = ES_AUTOHSCROLL | WS_TABSTOP;

// In creation order. The boxes take their text from the models.
const ControlSpec kControls[] = {
    {kCheck1, L"BUTTON", L"Hide Unknown Packets", 5040, 4515, 2535, 195,
     BS_AUTOCHECKBOX | WS_TABSTOP, 0, false},
    {kCommand2, L"BUTTON", L"Clear Log", 2835, 4515, 1065, 225, kButton, 0, false},
    {kFrame1, L"BUTTON", L"Specifics", kFrameLeft, kFrameTop, 2640, 1800, BS_GROUPBOX, 0, false},
    {kCommand4, L"BUTTON", L"Force Map Reload", 840, 1365, 1590, 330, kButton, 0, true},
    {kOption1Male, L"BUTTON", L"Male", 1680, 945, 855, 225, BS_RADIOBUTTON | WS_TABSTOP, 0, true},
    {kOption1Female, L"BUTTON", L"Female", 735, 945, 855, 225, BS_RADIOBUTTON | WS_TABSTOP, 0,
     true},
    {kText2, L"EDIT", L"", 735, 630, 1065, 285, kEdit, WS_EX_CLIENTEDGE, true},
    {kCommand3, L"BUTTON", L"Warp", 1890, 315, 540, 330, kButton, 0, true},
    {kPos1, L"EDIT", L"", 1365, 315, 435, 285, kEdit, WS_EX_CLIENTEDGE, true},
    {kPos0, L"EDIT", L"", 735, 315, 435, 285, kEdit, WS_EX_CLIENTEDGE, true},
    {kLabel3, L"STATIC", L"Gender:", 105, 945, 645, 225, SS_LEFT, 0, true},
    {kLabel2, L"STATIC", L"Map:", 105, 630, 435, 225, SS_LEFT, 0, true},
    // Right-aligned, so that the "x" stands between the two Pos boxes, which
    // lie on top of the label's spaces.
    {kLabel1, L"STATIC", L"Position:           x", 105, 315, 1170, 195, SS_RIGHT, 0, true},
    {kRWin, L"BUTTON", L"Hidden", 525, 1995, 960, 435, BS_PUSHBUTTON, 0, false},
    {kList1, L"LISTBOX", L"", 2835, 105, 4740, 4350,
     WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | LBS_EXTENDEDSEL | WS_TABSTOP,
     WS_EX_CLIENTEDGE, false},
    {kCommand1, L"BUTTON", L"Unused", 1470, 1995, 855, 435, BS_PUSHBUTTON | WS_DISABLED, 0, false},
    {kText1, L"EDIT", L"", 105, 2100, 2640, 2640,
     ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
     false},
};

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

  int Px(int twips) const { return ::MulDiv(twips, dpi_, 1440); }
  HWND Control(ControlId id) const { return ::GetDlgItem(window_, id); }
  void BuildControls();
  void BindTextBox(ControlId id, TextBox& box);
  void BindModels();
  void Unbind();
  void OnCommand(int id, int code);
  void OnTextEdited(int id);
  void AppendLogLine(const std::string& line);
  void Layout(int width, int height);
  void ArmTimer();

  HFONT Font(int height);
  HFONT FittingFont(HWND control, const ControlSpec& spec);

  Form1& form_;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  std::vector<HFONT> smallerFonts_;
  int dpi_ = 96;
  bool mirroring_ = false;  // a model is being shown: no edit goes back to it
  std::chrono::milliseconds armed_{0};
  std::unique_ptr<LogMenu> logMenu_;  // List1's context menu and shortcuts
};

bool Window::Create() {
  HDC screen = ::GetDC(nullptr);
  dpi_ = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  // The size of font the form was laid out for.
  font_ = Font(::MulDiv(8, dpi_, 72));

  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = Proc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  ::RegisterClassExW(&windowClass);

  // Without WS_CLIPCHILDREN: the window paints the face beneath the frame,
  // which draws only its border and caption.
  constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
  RECT frame{0, 0, Px(kClientWidth), Px(kClientHeight)};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  window_ = ::CreateWindowExW(0, kWindowClass, L"Quib-Server", kStyle, Px(2250), Px(1395),
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              instance, this);
  if (window_ == nullptr) return false;
  BuildControls();
  BindModels();
  logMenu_ = std::make_unique<LogMenu>(form_, window_, Control(kList1));
  // rWin's part: Windows Sockets posts the mouse-move message to it for each
  // waiting connection.
  ::WSAAsyncSelect(static_cast<SOCKET>(form_.LoginServer.Socket), Control(kRWin), kAcceptMessage,
                   FD_ACCEPT);
  ArmTimer();
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::UpdateWindow(window_);
  return true;
}

HFONT Window::Font(int height) {
  return ::CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"MS Shell Dlg 2");
}

// Fonts differ from the one the form was drawn with: a caption that would not
// fit its control gets a smaller font rather than a clipped text.
HFONT Window::FittingFont(HWND control, const ControlSpec& spec) {
  if (spec.Caption[0] == L'\0' || spec.Id == kFrame1) return font_;
  const int box = ::GetSystemMetrics(SM_CXMENUCHECK) + 4;  // a check box or option button
  const DWORD kind = spec.Style & BS_TYPEMASK;
  const int padding = std::wstring_view(spec.Class) == L"STATIC" ? 0
                      : kind == BS_PUSHBUTTON                    ? 8
                                                                 : box;
  HDC dc = ::GetDC(control);
  HFONT chosen = font_;
  for (int height = ::MulDiv(8, dpi_, 72); height >= ::MulDiv(6, dpi_, 72); --height) {
    chosen = height == ::MulDiv(8, dpi_, 72) ? font_ : Font(height);
    if (chosen != font_) smallerFonts_.push_back(chosen);
    const HGDIOBJ previous = ::SelectObject(dc, chosen);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, spec.Caption, static_cast<int>(wcslen(spec.Caption)), &size);
    ::SelectObject(dc, previous);
    if (size.cx + padding <= Px(spec.Width)) break;
  }
  ::ReleaseDC(control, dc);
  return chosen;
}

void Window::BuildControls() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (const ControlSpec& spec : kControls) {
    const int left = spec.InFrame ? Px(kFrameLeft) + Px(spec.Left) : Px(spec.Left);
    const int top = spec.InFrame ? Px(kFrameTop) + Px(spec.Top) : Px(spec.Top);
    const bool hidden = spec.Id == kRWin || spec.Id == kCommand1;
    HWND control = ::CreateWindowExW(
        spec.ExStyle, spec.Class, spec.Caption,
        WS_CHILD | WS_CLIPSIBLINGS | (hidden ? 0 : WS_VISIBLE) | spec.Style, left, top,
        Px(spec.Width), Px(spec.Height), window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.Id)), instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FittingFont(control, spec)),
                   FALSE);
  }
  // The frame lies beneath the controls it holds.
  ::SetWindowPos(Control(kFrame1), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SendMessageW(Control(kText2), EM_LIMITTEXT, form_.Text2.MaxLength(), 0);
  // The boxes are narrow: their text starts at their border.
  for (ControlId id : {kText2, kPos0, kPos1}) {
    ::SendMessageW(Control(id), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  }
  for (int i = 0; i < 2; ++i)
    SetDigitsOnly(Control(i == 0 ? kPos0 : kPos1), form_.Pos[i].DigitsOnly());
  ::SetWindowSubclass(Control(kRWin), RWinProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

void Window::BindTextBox(ControlId id, TextBox& box) {
  HWND edit = Control(id);
  mirroring_ = true;
  ::SetWindowTextA(edit, box.Text().c_str());
  mirroring_ = false;
  box.OnChange = [this, edit, &box] {
    if (WindowText(edit) == box.Text()) return;
    mirroring_ = true;
    ::SetWindowTextA(edit, box.Text().c_str());
    mirroring_ = false;
  };
}

void Window::BindModels() {
  BindTextBox(kText2, form_.Text2);
  BindTextBox(kPos0, form_.Pos[0]);
  BindTextBox(kPos1, form_.Pos[1]);
  BindTextBox(kText1, form_.Text1);

  auto showCheck = [this] {
    ::SendMessageW(Control(kCheck1), BM_SETCHECK,
                   form_.Check1.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
  };
  showCheck();
  form_.Check1.OnChange = showCheck;

  auto showOption = [this] {
    const int selected = form_.Option1.Selected();
    ::SendMessageW(Control(kOption1Female), BM_SETCHECK,
                   selected == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    ::SendMessageW(Control(kOption1Male), BM_SETCHECK, selected == 1 ? BST_CHECKED : BST_UNCHECKED,
                   0);
  };
  showOption();
  form_.Option1.OnChange = showOption;

  for (const auto& line : form_.List1.Items()) AppendLogLine(line);
  form_.List1.OnAppend = [this](const std::string& line) { AppendLogLine(line); };
  form_.List1.OnClear = [this] { ::SendMessageW(Control(kList1), LB_RESETCONTENT, 0, 0); };
  form_.List1.OnDropOldest = [this] { ::SendMessageW(Control(kList1), LB_DELETESTRING, 0, 0); };
}

void Window::Unbind() {
  logMenu_.reset();
  form_.DetachViews();
  if (font_ != nullptr) ::DeleteObject(font_);
  font_ = nullptr;
  for (HFONT font : smallerFonts_) ::DeleteObject(font);
  smallerFonts_.clear();
}

void Window::AppendLogLine(const std::string& line) {
  // Follow the newest line unless the user has scrolled up to read.
  HWND list = Control(kList1);
  const auto count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
  const auto top = ::SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  RECT client{};
  ::GetClientRect(list, &client);
  const auto rowHeight = std::max<LRESULT>(1, ::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
  const bool atEnd = top + (client.bottom - client.top) / rowHeight >= count;
  ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  if (atEnd) ::SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(count), 0);
}

void Window::OnTextEdited(int id) {
  if (mirroring_) return;
  TextBox* box = id == kText2   ? &form_.Text2
                 : id == kPos0  ? &form_.Pos[0]
                 : id == kPos1  ? &form_.Pos[1]
                 : id == kText1 ? &form_.Text1
                                : nullptr;
  if (box == nullptr) return;
  HWND edit = Control(static_cast<ControlId>(id));
  // What the user typed goes through the model's own rules (a paste may
  // bring letters past ES_NUMBER); the box then shows what the model holds.
  if (!box->Type(WindowText(edit)) || WindowText(edit) != box->Text()) {
    mirroring_ = true;
    ::SetWindowTextA(edit, box->Text().c_str());
    mirroring_ = false;
  }
}

void Window::OnCommand(int id, int code) {
  if (code == EN_CHANGE) return OnTextEdited(id);
  if (id == kList1 && code == LBN_DBLCLK && logMenu_) return logMenu_->ShowBytes();
  if (code != BN_CLICKED) return;
  switch (id) {
    case kCheck1:
      form_.Check1.SetChecked(::SendMessageW(Control(kCheck1), BM_GETCHECK, 0, 0) == BST_CHECKED);
      break;
    case kOption1Female:
      form_.Option1.Select(0);
      break;
    case kOption1Male:
      form_.Option1.Select(1);
      break;
    case kCommand2:
      form_.Command2_Click();
      break;
    case kCommand3:
      form_.Command3_Click();
      break;
    case kCommand4:
      form_.Command4_Click();
      break;
    default:
      break;  // Command1 does nothing
  }
}

void Window::ArmTimer() {
  armed_ = form_.TickInterval;
  ::SetTimer(window_, kTimer1,
             static_cast<UINT>(std::max<std::int64_t>(USER_TIMER_MINIMUM, armed_.count())),
             nullptr);
}

void Window::Layout(int width, int height) {
  // The log grows with the window; the controls below it keep to the bottom.
  const int listLeft = Px(2835);
  const int listTop = Px(105);
  const int rightMargin = Px(kClientWidth) - Px(2835 + 4740);
  const int bottomMargin = Px(kClientHeight) - Px(105 + 4350);
  ::MoveWindow(Control(kList1), listLeft, listTop, std::max(0, width - listLeft - rightMargin),
               std::max(0, height - listTop - bottomMargin), TRUE);
  const int bottomRow = height - (Px(kClientHeight) - Px(4515));
  for (ControlId id : {kCheck1, kCommand2}) {
    RECT rect{};
    ::GetWindowRect(Control(id), &rect);
    ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
    ::SetWindowPos(Control(id), nullptr, rect.left, bottomRow, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
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
      if (reinterpret_cast<HWND>(wParam) != Control(kList1) || !logMenu_) break;
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
      if (wParam != kTimer1) break;
      form_.PollConnections();
      // The rhythm may be changed while the server runs.
      if (form_.TickInterval != armed_) ArmTimer();
      return 0;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED && ::GetDlgItem(window_, kList1) != nullptr) {
        Layout(LOWORD(lParam), HIWORD(lParam));
      }
      return 0;
    case WM_GETMINMAXINFO: {
      RECT frame{0, 0, Px(kClientWidth), Px(kClientHeight)};
      ::AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
      return 0;
    }
    case WM_DESTROY:
      ::KillTimer(window_, kTimer1);
      logMenu_.reset();
      ::RemoveWindowSubclass(Control(kRWin), RWinProc, 0);
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
    reinterpret_cast<Window*>(self)->form_.AcceptPending();
    return 0;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

HWND g_mainWindow = nullptr;

// Ctrl+C or Ctrl+Break in the console the program was started from closes
// the window, which runs the unload step.
BOOL WINAPI OnConsoleEvent(DWORD) {
  ::PostMessageW(g_mainWindow, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

int RunWindowMode(const ProgramOptions& options) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  Form1 form;
  std::string error;
  if (!StartServer(form, options, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::fflush(stderr);
    ::MessageBoxW(nullptr, Wide(error).c_str(), L"Quib-Server", MB_OK);
    return 1;
  }
  std::fputs(StartedText(form).c_str(), stderr);
  std::fflush(stderr);
  {
    Window window(form);
    if (!window.Create()) {
      std::fprintf(stderr, "The window cannot be created.\n");
      form.Unload();
      return 1;
    }
    g_mainWindow = window.Handle();
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  form.Unload();
  return 0;
}

}  // namespace quib
