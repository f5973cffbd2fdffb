#include "journal/json_line.h"

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

}  // namespace

void AppendJsonText(std::string& out, std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      const std::size_t length = SequenceLength(text.substr(i));
      if (length == 0) {
        out += kReplacement;
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += "\\u00";
          out += kHexDigits[byte >> 4];
          out += kHexDigits[byte & 15];
        } else {
          out += static_cast<char>(byte);
        }
    }
    ++i;
  }
}

JsonLine::JsonLine(std::string& out) : out_(out) { out_ += '{'; }

void JsonLine::Name(std::string_view name) {
  if (!first_) out_ += ',';
  first_ = false;
  out_ += '"';
  out_ += name;
  out_ += "\":";
}

void JsonLine::Text(std::string_view name, std::string_view value) {
  Name(name);
  out_ += '"';
  AppendJsonText(out_, value);
  out_ += '"';
}

void JsonLine::Number(std::string_view name, std::int64_t value) {
  Name(name);
  out_ += std::to_string(value);
}

void JsonLine::Bool(std::string_view name, bool value) {
  Name(name);
  out_ += value ? "true" : "false";
}

void JsonLine::Hex(std::string_view name, std::span<const std::uint8_t> bytes) {
  Name(name);
  out_ += '"';
  for (const std::uint8_t byte : bytes) {
    out_ += kHexDigits[byte >> 4];
    out_ += kHexDigits[byte & 15];
  }
  out_ += '"';
}

void JsonLine::Id(std::string_view name, std::uint16_t id) {
  static constexpr char kUpper[] = "0123456789ABCDEF";
  Name(name);
  out_ += "\"0x";
  for (int shift = 12; shift >= 0; shift -= 4) out_ += kUpper[(id >> shift) & 15];
  out_ += '"';
}

void JsonLine::Open(std::string_view name) {
  Name(name);
  out_ += '{';
  first_ = true;
}

void JsonLine::Close() {
  out_ += '}';
  first_ = false;
}

void JsonLine::End() { out_ += "}\n"; }

}  // namespace quib
