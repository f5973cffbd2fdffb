// Text and file utilities for the packet database reader. Text is one
// character per byte: no encoding conversion, no line-end translation.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace quib {

// The whole file as text, or the empty text on any failure (a missing file and
// an empty file read alike). Only a regular file is read.
std::string ReadWholeFile(const std::string& path);

// Returns the part of `text` before the first `separator` and replaces `text`
// with the part after it. When the separator does not occur, returns the whole
// text and leaves `text` empty.
std::string TakeField(std::string& text, char separator);

// `text` with every occurrence of `separator` removed.
std::string RemoveAll(std::string text, char separator);

// The first fields of `text` split at `separator`, at most `fields.size()` of
// them; returns how many were filled. Empty fields count, except after a
// trailing separator; an empty text has none. Nothing is copied and the scan
// stops once the fields are filled, so a text of a million separators costs at
// most one pass. The views point into `text`.
std::size_t SplitFirstFields(std::string_view text, char separator,
                             std::span<std::string_view> fields);

}  // namespace quib
