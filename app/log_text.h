// The log's text as both windows hand it out: the whole log for saving or
// copying, and what the bytes dialog shows for one line.
#pragma once

#include <cstddef>
#include <string>

namespace quib {

class Form1;
class ListBox;

// Every line of the log, each followed by a line feed.
std::string LogText(const ListBox& log);

// What the bytes dialog shows for row `row` of the log: the packet's bytes,
// or why they are not shown. Empty for a line that is not about an unknown
// packet, or a row past the end.
std::string UnknownPacketText(const Form1& form, std::size_t row);

}  // namespace quib
