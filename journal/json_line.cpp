#include "journal/json_line.h"

#include <algorithm>

namespace quib {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at the start of `text`; 0 when it
// is not one (a stray continuation byte, an overlong form, a surrogate, past
// U+10FFFF, cut short).
std::size_t SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  unsigned char low = 0x80;  // the second byte's range, which rules out the bad forms
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

// An ASCII character that a JSON string holds as it is.
bool IsPlain(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; }

// The escape of an ASCII character that is not plain.
std::string_view Escape(unsigned char c, char (&buffer)[6]) {
  switch (c) {
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      break;
  }
  const char escape[] = {'\\', 'u', '0', '0', kHexDigits[c >> 4], kHexDigits[c & 15]};
  std::memcpy(buffer, escape, sizeof escape);
  return {buffer, sizeof buffer};
}

}  // namespace

std::string JsonText(std::string_view text) {
  std::string out;
  {
    JsonLine line(out);
    line.EscapedText(text);
  }
  return out.substr(1);  // after the line's "{"
}

JsonLine::JsonLine(std::string& out) : out_(out) { Put('{'); }

void JsonLine::EscapedText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    // A run of plain characters goes at once.
    std::size_t end = i;
    while (end < text.size() && IsPlain(static_cast<unsigned char>(text[end]))) ++end;
    Put(text.data() + i, end - i);
    if (end == text.size()) return;
    i = end;
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      char buffer[6];
      Raw(Escape(byte, buffer));
      ++i;
      continue;
    }
    const std::size_t length = SequenceLength(text.substr(i));
    if (length == 0) {
      Put(kReplacement, sizeof kReplacement - 1);
      ++i;
    } else {
      Put(text.data() + i, length);
      i += length;
    }
  }
}

void JsonLine::TextValue(std::string_view text) {
  Put('"');
  EscapedText(text);
  Put('"');
}

void JsonLine::Latin1Value(std::span<const std::uint8_t> bytes) {
  Put('"');
  for (std::size_t i = 0; i < bytes.size() && bytes[i] != 0;) {
    std::size_t end = i;
    while (end < bytes.size() && IsPlain(bytes[end])) ++end;
    Put(reinterpret_cast<const char*>(bytes.data() + i), end - i);
    if (end == bytes.size() || bytes[end] == 0) break;
    const std::uint8_t byte = bytes[end];
    if (byte < 0x80) {
      char buffer[6];
      Raw(Escape(byte, buffer));
    } else {
      Put(static_cast<char>(0xC0 | byte >> 6));
      Put(static_cast<char>(0x80 | (byte & 0x3F)));
    }
    i = end + 1;
  }
  Put('"');
}

void JsonLine::Address(std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < 4 && i < bytes.size(); ++i) {
    if (i > 0) Put('.');
    NumberValue(bytes[i]);
  }
}

void JsonLine::Hex(std::string_view name, std::span<const std::uint8_t> bytes) {
  Name(name);
  Put('"');
  // In pieces that fit the room, each made in place.
  while (!bytes.empty()) {
    if (kRoom - used_ < 64) Spill();
    const std::size_t count = std::min(bytes.size(), (kRoom - used_) / 2);
    for (std::size_t i = 0; i < count; ++i) {
      room_[used_++] = kHexDigits[bytes[i] >> 4];
      room_[used_++] = kHexDigits[bytes[i] & 15];
    }
    bytes = bytes.subspan(count);
  }
  Put('"');
}

void JsonLine::Id(std::string_view name, std::uint16_t id) {
  static constexpr char kUpper[] = "0123456789ABCDEF";
  Name(name);
  const char text[] = {'"',
                       '0',
                       'x',
                       kUpper[id >> 12],
                       kUpper[(id >> 8) & 15],
                       kUpper[(id >> 4) & 15],
                       kUpper[id & 15],
                       '"'};
  Put(text, sizeof text);
}

void JsonLine::Open(std::string_view name) {
  Name(name);
  Put('{');
  first_ = true;
}

void JsonLine::Close() {
  Put('}');
  first_ = false;
}

void JsonLine::End() {
  Put("}\n", 2);
  Spill();
}

}  // namespace quib
