// The dissector's reading of a packet (dissector/quib.lua, decode and show),
// from the same description: each field read as the layout says, and the Info
// template filled with the values' texts.
#include "protocol/packet_rendering.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace quib {

namespace {

// A value as the Info templates show it, by the name they call it.
struct Shown {
  std::string_view Name;
  std::string Text;
};

struct Decoded {
  std::vector<PacketValue> Values;
  std::vector<Shown> Texts;
};

std::uint32_t LittleEndian(std::span<const std::uint8_t> bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = bytes.size(); i > 0; --i) value = value << 8 | bytes[i - 1];
  return value;
}

// Up to the first zero byte, each byte the character of ISO 8859-1 that has
// its number, written as UTF-8 (as the dissector reads text).
std::string TextOf(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t byte : bytes) {
    if (byte == 0) break;
    if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      text += static_cast<char>(0xC0 | byte >> 6);
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

// "(x, y)". Appended piece by piece: GCC 12 takes "text" + string for an
// overlap at -O3.
std::string CellText(std::int64_t x, std::int64_t y) {
  std::string text = "(";
  text += std::to_string(x);
  text += ", ";
  text += std::to_string(y);
  return text += ')';
}

void AddNumber(Decoded& decoded, std::string_view name, std::int64_t number) {
  decoded.Values.push_back({std::string(name), false, number, {}});
}

void AddText(Decoded& decoded, std::string_view name, std::string text) {
  decoded.Values.push_back({std::string(name), true, 0, std::move(text)});
}

// The text of the last value called `name`, or nullptr.
const std::string* Find(const std::vector<Shown>& shown, std::string_view name) {
  for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
    if (it->Name == name) return &it->Text;
  }
  return nullptr;
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// `pattern` with each "{name}" replaced by that value's text. A name without
// a value gives "?", or with `keepMissing` stays as written (the dissector's
// entries keep it; its Info shows "?").
std::string Fill(std::string_view pattern, const std::vector<Shown>& shown, bool keepMissing) {
  std::string text;
  std::size_t i = 0;
  while (i < pattern.size()) {
    std::size_t end = i + 1;
    if (pattern[i] == '{') {
      while (end < pattern.size() && IsNameCharacter(pattern[end])) ++end;
    }
    if (pattern[i] != '{' || end == i + 1 || end == pattern.size() || pattern[end] != '}') {
      text += pattern[i++];
      continue;
    }
    const std::string_view name = pattern.substr(i + 1, end - i - 1);
    const std::string* value = Find(shown, name);
    text += value != nullptr ? *value
            : keepMissing    ? std::string(pattern.substr(i, end - i + 1))
                             : std::string("?");
    i = end + 1;
  }
  return text;
}

void Decode(std::span<const PacketField> layout, std::span<const std::uint8_t> bytes,
            const PacketEntry* entry, Decoded& decoded);

// Entries of `field`'s layout from its offset on, as many as fit whole.
void DecodeEntries(const PacketField& field, std::size_t offset,
                   std::span<const std::uint8_t> bytes, Decoded& decoded) {
  const auto width = static_cast<std::size_t>(field.Width);
  std::string labels;
  std::int64_t count = 0;
  for (std::size_t at = offset; width > 0 && at + width <= bytes.size(); at += width) {
    Decoded one;
    Decode(field.Entries->Fields, bytes.subspan(at, width), nullptr, one);
    labels += (count++ == 0 ? "" : "; ") + Fill(field.Entries->Label, one.Texts, true);
  }
  AddText(decoded, "entries", labels);
  decoded.Texts.push_back({"entries", labels});
  AddNumber(decoded, "entry_count", count);
  decoded.Texts.push_back({"entry_count", std::to_string(count)});
}

void Decode(std::span<const PacketField> layout, std::span<const std::uint8_t> bytes,
            const PacketEntry* entry, Decoded& decoded) {
  const auto size = static_cast<std::int64_t>(bytes.size());
  for (const PacketField& field : layout) {
    std::int64_t offset = field.Offset;
    if (field.FromSlot) {
      if (entry == nullptr) continue;
      offset = entry->Positions[static_cast<std::size_t>(field.Offset)];
    }
    const std::string_view name = field.Name != nullptr ? field.Name : field.Field;
    if (field.Reading == FieldReading::kEntries) {
      if (offset >= 0) DecodeEntries(field, static_cast<std::size_t>(offset), bytes, decoded);
      continue;
    }
    const std::int64_t width = field.Width == kRest ? size - offset : field.Width;
    if (offset < 0 || width <= 0 || offset + width > size) continue;
    const auto value =
        bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(width));
    switch (field.Reading) {
      case FieldReading::kInt: {
        const std::uint32_t number = LittleEndian(value);
        AddNumber(decoded, name, number);
        decoded.Texts.push_back({name, std::to_string(number)});
        break;
      }
      case FieldReading::kText:
        AddText(decoded, name, TextOf(value));
        decoded.Texts.push_back({name, decoded.Values.back().Text});
        break;
      case FieldReading::kAddress: {
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", value[0], value[1], value[2], value[3]);
        AddText(decoded, name, text);
        decoded.Texts.push_back({name, text});
        break;
      }
      case FieldReading::kCell: {
        const std::int64_t x = value[0] * 4 + value[1] / 64;
        const std::int64_t y = (value[1] % 64) * 16 + value[2] / 16;
        AddNumber(decoded, "x", x);
        AddNumber(decoded, "y", y);
        decoded.Texts.push_back({name, CellText(x, y)});
        break;
      }
      case FieldReading::kMove: {
        const std::int64_t fromX = value[0] * 4 + value[1] / 64;
        const std::int64_t fromY = (value[1] % 64) * 16 + value[2] / 16;
        const std::int64_t x = (value[2] % 16) * 64 + value[3] / 4;
        const std::int64_t y = (value[3] % 4) * 256 + value[4];
        AddNumber(decoded, "from_x", fromX);
        AddNumber(decoded, "from_y", fromY);
        AddNumber(decoded, "x", x);
        AddNumber(decoded, "y", y);
        std::string move = "from ";
        move += CellText(fromX, fromY);
        move += " to ";
        move += CellText(x, y);
        decoded.Texts.push_back({name, std::move(move)});
        break;
      }
      case FieldReading::kBytes:
        AddNumber(decoded, name, width);
        decoded.Texts.push_back({name, std::to_string(width)});
        break;
      case FieldReading::kEntries:
        break;
    }
  }
}

std::string Hex(std::uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", id);
  return text;
}

}  // namespace

PacketRendering RenderPacket(const PacketDescription& packet, std::span<const std::uint8_t> bytes,
                             const VersionEntry* version, std::int32_t versionNumber,
                             std::string_view why) {
  Decoded decoded;
  const bool hasId = packet.Kind == PacketKind::kPacket || packet.Kind == PacketKind::kUnknown;
  const auto id = static_cast<std::uint16_t>(
      LittleEndian(bytes.first(std::min<std::size_t>(bytes.size(), hasId ? 2 : 0))));
  if (hasId) AddNumber(decoded, "id", id);
  const PacketEntry* entry =
      packet.Entry != nullptr && version != nullptr ? &(version->*packet.Entry) : nullptr;
  if (packet.Entry != nullptr) AddNumber(decoded, "version", versionNumber);
  Decode(packet.Layout, bytes, entry, decoded);
  // What the packet's bytes do not say: the connection's version, and why
  // bytes went unread.
  decoded.Texts.push_back({"version", std::to_string(versionNumber)});
  if (!why.empty()) {
    AddText(decoded, "why", std::string(why));
    decoded.Texts.push_back({"why", std::string(why)});
  }

  std::string label;
  switch (packet.Kind) {
    case PacketKind::kPacket:
      label = Hex(id) + " " + packet.Name;
      break;
    case PacketKind::kUnknown:
      label = std::string(packet.Name) + " " + Hex(id);
      break;
    case PacketKind::kEcho:
    case PacketKind::kDropped:
      label = packet.Name;
      break;
  }
  return {label + Fill(packet.Info, decoded.Texts, false), std::move(decoded.Values)};
}

}  // namespace quib
