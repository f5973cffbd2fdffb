// One JSON object on one line (JSON Lines), built field by field at the end of
// a string the caller keeps, so that its room serves line after line. The
// text is UTF-8 throughout: a byte that is not part of valid UTF-8 is written
// as U+FFFD, and control characters, quotes and backslashes are escaped.
// Names are the caller's own, written as they are.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quib {

class JsonLine {
 public:
  // Opens the object at the end of `out`.
  explicit JsonLine(std::string& out);
  JsonLine(const JsonLine&) = delete;
  JsonLine& operator=(const JsonLine&) = delete;

  void Text(std::string_view name, std::string_view value);
  void Number(std::string_view name, std::int64_t value);
  void Bool(std::string_view name, bool value);
  // The bytes as lowercase hex digits, two a byte, nothing between them.
  void Hex(std::string_view name, std::span<const std::uint8_t> bytes);
  // A packet id as the log names it: "0x0085".
  void Id(std::string_view name, std::uint16_t id);
  // An object inside this one, until its Close.
  void Open(std::string_view name);
  void Close();
  // Closes the object and ends its line.
  void End();

 private:
  void Name(std::string_view name);

  std::string& out_;
  bool first_ = true;  // no field yet in the innermost object
};

// `text` as a JSON string's contents: escaped, and valid UTF-8.
void AppendJsonText(std::string& out, std::string_view text);

}  // namespace quib
