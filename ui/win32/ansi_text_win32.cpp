#include <windows.h>

#include "ui/win32/ansi_text_win32.h"

namespace quib {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return wide;
}

std::string Narrow(const std::wstring& text, bool& lossy) {
  BOOL defaulted = FALSE;
  const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        narrow.data(), n, nullptr, &defaulted);
  lossy = defaulted != FALSE || (n <= 0 && !text.empty());
  return narrow;
}

}  // namespace quib
