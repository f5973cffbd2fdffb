// Text and file utilities for the packet database reader. Text is one
// character per byte: no encoding conversion, no line-end translation.
#pragma once

#include <string>
#include <vector>

namespace quib {

// The whole file as text, or the empty text on any failure (a missing file and
// an empty file read alike).
std::string ReadWholeFile(const std::string& path);

// Returns the part of `text` before the first `separator` and replaces `text`
// with the part after it. When the separator does not occur, returns the whole
// text and leaves `text` empty.
std::string TakeField(std::string& text, char separator);

// `text` with every occurrence of `separator` removed.
std::string RemoveAll(std::string text, char separator);

// Splits `text` at `separator` into `fields` and returns the count. Empty
// fields are kept except after a trailing separator. An empty text returns 0
// and leaves `fields` untouched; otherwise `fields` holds exactly count items.
int SplitFields(std::vector<std::string>& fields, std::string text, char separator);

}  // namespace quib
