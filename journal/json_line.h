// One JSON object on one line (JSON Lines), built field by field and added
// to the end of a string the caller keeps, so that its room serves line after
// line and a line allocates nothing. Pieces gather in a small buffer of the
// line's own and reach the string in a few appends. The text is UTF-8
// throughout: a byte that is not part of valid UTF-8 is written as U+FFFD,
// and control characters, quotes and backslashes are escaped. Names are the
// caller's own, written as they are.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace quib {

class JsonLine {
 public:
  // Opens the object; it reaches the end of `out` by End at the latest.
  explicit JsonLine(std::string& out);
  ~JsonLine() { Spill(); }
  JsonLine(const JsonLine&) = delete;
  JsonLine& operator=(const JsonLine&) = delete;

  void Text(std::string_view name, std::string_view value) {
    Name(name);
    TextValue(value);
  }
  // A text of the server's own that needs no escaping (an event's name, a
  // packet's), written as it is.
  void Word(std::string_view name, std::string_view value) {
    Name(name);
    Put('"');
    Put(value.data(), value.size());
    Put('"');
  }
  void Number(std::string_view name, std::int64_t value) {
    Name(name);
    NumberValue(value);
  }
  void Bool(std::string_view name, bool value) {
    Name(name);
    Raw(value ? "true" : "false");
  }
  // The bytes as lowercase hex digits, two a byte, nothing between them.
  void Hex(std::string_view name, std::span<const std::uint8_t> bytes);
  // A packet id as the log names it: "0x0085".
  void Id(std::string_view name, std::uint16_t id);
  // An object inside this one, until its Close.
  void Open(std::string_view name);
  void Close();
  // Closes the object and ends its line.
  void End();

  // A name's start, for a value written with the ...Value calls below:
  // `"name":`, or with a `repeat` past 1 `"name_2":`.
  void Name(std::string_view name, int repeat = 1) {
    if (!first_) Put(',');
    first_ = false;
    Put('"');
    Put(name.data(), name.size());
    if (repeat > 1) {
      Put('_');
      NumberValue(repeat);
    }
    Put("\":", 2);
  }
  void TextValue(std::string_view text);  // quoted and escaped
  // Text of one character a byte (ISO 8859-1), as packets hold it, up to
  // the first zero byte; quoted.
  void Latin1Value(std::span<const std::uint8_t> bytes);
  void NumberValue(std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    Put(digits, static_cast<std::size_t>(end - digits));
  }
  // Written as it is, for a value made of the pieces above.
  void Raw(std::string_view text) { Put(text.data(), text.size()); }

  // Pieces of a value without quotes: an escaped text, an address
  // ("127.0.0.1" from 4 bytes in network byte order).
  void EscapedText(std::string_view text);
  void Address(std::span<const std::uint8_t> bytes);

 private:
  static constexpr std::size_t kRoom = 512;

  void Put(char c) {
    if (used_ == kRoom) Spill();
    room_[used_++] = c;
  }
  void Put(const char* bytes, std::size_t count) {
    if (count > kRoom - used_) {
      Spill();
      if (count > kRoom) {
        out_.append(bytes, count);
        return;
      }
    }
    // Most pieces are a few bytes: copied in place, without a call.
    if (count <= 8) {
      for (std::size_t i = 0; i < count; ++i) room_[used_ + i] = bytes[i];
    } else {
      std::memcpy(room_ + used_, bytes, count);
    }
    used_ += count;
  }
  void Spill() {
    out_.append(room_, used_);
    used_ = 0;
  }

  std::string& out_;
  bool first_ = true;  // no field yet in the innermost object
  std::size_t used_ = 0;
  char room_[kRoom];
};

// `text` as a JSON string's contents: escaped, and valid UTF-8.
std::string JsonText(std::string_view text);

}  // namespace quib
