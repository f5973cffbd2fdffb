// The designed form as native controls: each row of the form table becomes
// a child window at the row's place in pixels, in a font that fits its
// caption. The control models are bound elsewhere (window_win32.cpp).
#pragma once

#include <windows.h>

#include <vector>

#include "app/form_layout.h"

namespace quib {

// Control ids: GetDlgItem(window, ControlIdOf(control)) finds each control.
inline constexpr int kFirstControlId = 101;
constexpr int ControlIdOf(FormControl control) {
  return kFirstControlId + static_cast<int>(control);
}

// The form was laid out in twips, 1440 an inch.
inline int TwipsToPixels(int twips, int dpi) { return ::MulDiv(twips, dpi, 1440); }

class FormControls {
 public:
  // Every control of the form as a child of `window`, at `dpi` dots an inch.
  FormControls(HWND window, int dpi);
  ~FormControls();
  FormControls(const FormControls&) = delete;
  FormControls& operator=(const FormControls&) = delete;

  HWND operator[](FormControl control) const;
  int Px(int twips) const { return TwipsToPixels(twips, dpi_); }

  // The client area is now `width` by `height` pixels: the controls that
  // follow a resize follow it.
  void Layout(int width, int height) const;

 private:
  HFONT Font(int height) const;
  HFONT FittingFont(HWND control, const FormRow& row);

  HWND window_;
  int dpi_;
  HFONT font_;
  std::vector<HFONT> smallerFonts_;
};

}  // namespace quib
