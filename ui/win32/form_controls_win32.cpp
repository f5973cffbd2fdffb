#include "ui/win32/form_controls_win32.h"

#include <string>

#include "platform/text_win32.h"

namespace quib {

namespace {

// A kind of control as a window class and its styles.
struct NativeKind {
  const wchar_t* Class;
  DWORD Style;
  DWORD ExStyle;
};

NativeKind NativeKindOf(const FormRow& row) {
  switch (row.Kind) {
    case ControlKind::CheckBox:
      return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case ControlKind::Button:
      return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::Frame:
      return {L"BUTTON", BS_GROUPBOX, 0};
    case ControlKind::OptionButton:
      return {L"BUTTON", BS_RADIOBUTTON | WS_TABSTOP, 0};
    case ControlKind::TextBox:
      if (row.Settings.MultiLine) {
        return {L"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP,
                WS_EX_CLIENTEDGE};
      }
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::Label:
      return {L"STATIC", static_cast<DWORD>(row.Settings.AlignRight ? SS_RIGHT : SS_LEFT), 0};
    case ControlKind::ListBox:
      return {L"LISTBOX",
              WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | LBS_EXTENDEDSEL | WS_TABSTOP,
              WS_EX_CLIENTEDGE};
    case ControlKind::Timer:
      break;  // the window's own timer: no control
  }
  return {nullptr, 0, 0};
}

}  // namespace

FormControls::FormControls(HWND window, int dpi) : window_(window), dpi_(dpi) {
  // The size of font the form was laid out for.
  font_ = Font(::MulDiv(8, dpi_, 72));
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const FormRect& frame = RowOf(FormControl::Frame1).Place;
  for (const FormRow& row : FormRows()) {
    const NativeKind kind = NativeKindOf(row);
    if (kind.Class == nullptr) continue;
    // Frame1's children stand on the window beside it, placed through it.
    const bool inFrame = row.Parent == ControlParent::Frame1;
    const int left = (inFrame ? Px(frame.Left) : 0) + Px(row.Place.Left);
    const int top = (inFrame ? Px(frame.Top) : 0) + Px(row.Place.Top);
    // The boxes take their text from the models.
    const std::wstring caption = row.Kind == ControlKind::TextBox ? L"" : WideText(row.Caption);
    HWND control = ::CreateWindowExW(
        kind.ExStyle, kind.Class, caption.c_str(),
        WS_CHILD | WS_CLIPSIBLINGS | (row.Settings.Visible ? WS_VISIBLE : 0) |
            (row.Settings.Enabled ? 0 : WS_DISABLED) | kind.Style,
        left, top, Px(row.Place.Width), Px(row.Place.Height), window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdOf(row.Control))), instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FittingFont(control, row)), FALSE);
    // No EM_LIMITTEXT for MaxLength: the edit would drop what goes past it
    // unsaid; the model cuts the text to it and says so.
    // The one-line boxes are narrow: their text starts at their border.
    if (row.Kind == ControlKind::TextBox && !row.Settings.MultiLine) {
      ::SendMessageW(control, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    }
  }
  // The frame lies beneath the controls it holds.
  ::SetWindowPos((*this)[FormControl::Frame1], HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

FormControls::~FormControls() {
  ::DeleteObject(font_);
  for (HFONT font : smallerFonts_) ::DeleteObject(font);
}

HWND FormControls::operator[](FormControl control) const {
  return ::GetDlgItem(window_, ControlIdOf(control));
}

void FormControls::Layout(int width, int height) const {
  for (const FormRow& row : FormRows()) {
    if (row.Resize == OnResize::Stays) continue;
    const FormRect place =
        ResizedPlace(row, width, height, [this](int twips) { return Px(twips); });
    ::MoveWindow((*this)[row.Control], place.Left, place.Top, place.Width, place.Height, TRUE);
  }
}

HFONT FormControls::Font(int height) const {
  return ::CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"MS Shell Dlg 2");
}

// Fonts differ from the one the form was drawn with: a caption that would not
// fit its control gets a smaller font rather than a clipped text.
HFONT FormControls::FittingFont(HWND control, const FormRow& row) {
  if (row.Caption[0] == '\0' || row.Kind == ControlKind::Frame ||
      row.Kind == ControlKind::TextBox) {
    return font_;
  }
  const int box = ::GetSystemMetrics(SM_CXMENUCHECK) + 4;  // a check box or option button
  const int padding = row.Kind == ControlKind::Label    ? 0
                      : row.Kind == ControlKind::Button ? 8
                                                        : box;
  const std::wstring caption = WideText(row.Caption);
  HDC dc = ::GetDC(control);
  HFONT chosen = font_;
  for (int height = ::MulDiv(8, dpi_, 72); height >= ::MulDiv(6, dpi_, 72); --height) {
    chosen = height == ::MulDiv(8, dpi_, 72) ? font_ : Font(height);
    if (chosen != font_) smallerFonts_.push_back(chosen);
    const HGDIOBJ previous = ::SelectObject(dc, chosen);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    ::SelectObject(dc, previous);
    if (size.cx + padding <= Px(row.Place.Width)) break;
  }
  ::ReleaseDC(control, dc);
  return chosen;
}

}  // namespace quib
