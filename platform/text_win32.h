// Text between the server and Windows' wide calls, one converter for all of
// it. The server's text is UTF-8 where a person or the desktop gave it (the
// arguments, paths from a file dialog, the program's folder) and single bytes
// where the protocol gave it (a map name, log lines); ASCII reads the same
// either way.
#pragma once

#include <string>
#include <string_view>

namespace quib {

// `text` as UTF-8 when it is valid UTF-8, otherwise in the ANSI code page,
// one byte a character: a stray protocol byte above 0x7F is rarely valid
// UTF-8.
std::wstring WideText(std::string_view text);

// Wide text in UTF-8, every character kept.
std::string Utf8Text(std::wstring_view text);

// The system's message for the error `code` (a GetLastError value), without
// its line end; "error N" when it has none.
std::string SystemErrorText(unsigned long code);

}  // namespace quib
