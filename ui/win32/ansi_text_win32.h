// Text between the core and the window: the core's text is in the ANSI code
// page, one byte a character, as the protocol sends it; the window's is wide.
#pragma once

#include <string>

namespace quib {

// Text in the ANSI code page as wide text.
std::wstring Wide(const std::string& text);

// Wide text in the ANSI code page; `lossy` is set when some character has no
// spelling there (it then stands as '?').
std::string Narrow(const std::wstring& text, bool& lossy);

}  // namespace quib
