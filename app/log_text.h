// The log's text as both windows hand it out: the whole log for saving or
// copying, and what the bytes dialog shows for one line and where.
#pragma once

#include <cstddef>
#include <string>

#include "app/form_layout.h"

namespace quib {

class Form1;
class ListBox;

// Every line of the log, each followed by a line feed.
std::string LogText(const ListBox& log);

// What the bytes dialog shows for row `row` of the log: the packet's bytes,
// or why they are not shown. Empty for a line that is about no packet (an
// unknown one, or one of "Show Every Packet"), or a row past the end.
std::string LineBytesText(const Form1& form, std::size_t row);

// The bytes behind the newest `count` lines that have them (unknown packets,
// and packet lines while "Show Every Packet" adds them), oldest first; what
// the console's `bytes` prints.
std::string NewestBytesText(const Form1& form, std::size_t count);

// Where a bytes dialog `width` by `height` opens, in the screen's pixels, so
// that the log stays in view: right of the main window `window`, else left
// of it, else left of the log `log` (over the rest of the form), else
// against the right edge of `work`, the screen's work area; its top `down`
// below the window's, and all of it on the work area.
FormRect BytesDialogPlace(const FormRect& window, const FormRect& log, int width, int height,
                          const FormRect& work, int down);

}  // namespace quib
