// What the server says to the operator, as Qt text. It mixes protocol text,
// one byte per character (a map name), with paths the desktop gave in UTF-8
// (a capture file, a saved log).
#pragma once

#include <QString>
#include <string>

namespace quib {

// `text` as UTF-8 when it is valid UTF-8, one byte per character otherwise.
QString OperatorText(const std::string& text);

}  // namespace quib
