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
            const PacketEntry* entry, FieldSink& sink);

// The values as RenderPacket gives them, and their texts as Info shows them.
struct Decoded final : FieldSink {
  std::vector<PacketValue> Values;
  std::vector<Shown> Texts;

  void AddNumber(std::string_view name, std::int64_t number) {
    Values.push_back({std::string(name), false, number, {}});
  }
  void Int(std::string_view name, std::uint32_t value) override {
    AddNumber(name, value);
    Texts.push_back({name, std::to_string(value)});
  }
  void Text(std::string_view name, std::span<const std::uint8_t> bytes) override {
    Values.push_back({std::string(name), true, 0, TextOf(bytes)});
    Texts.push_back({name, Values.back().Text});
  }
  void Address(std::string_view name, std::span<const std::uint8_t> bytes) override {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    Values.push_back({std::string(name), true, 0, text});
    Texts.push_back({name, text});
  }
  void Cell(std::string_view name, std::int64_t x, std::int64_t y) override {
    AddNumber("x", x);
    AddNumber("y", y);
    Texts.push_back({name, CellText(x, y)});
  }
  void Move(std::string_view name, std::int64_t fromX, std::int64_t fromY, std::int64_t x,
            std::int64_t y) override {
    AddNumber("from_x", fromX);
    AddNumber("from_y", fromY);
    AddNumber("x", x);
    AddNumber("y", y);
    std::string move = "from ";
    move += CellText(fromX, fromY);
    move += " to ";
    move += CellText(x, y);
    Texts.push_back({name, std::move(move)});
  }
  void Bytes(std::string_view name, std::int64_t count) override {
    AddNumber(name, count);
    Texts.push_back({name, std::to_string(count)});
  }
  void Entries(std::string labels, std::int64_t count) override {
    Values.push_back({"entries", true, 0, labels});
    Texts.push_back({"entries", std::move(labels)});
    AddNumber("entry_count", count);
    Texts.push_back({"entry_count", std::to_string(count)});
  }
};

// Entries of `field`'s layout from its offset on, as many as fit whole.
void DecodeEntries(const PacketField& field, std::size_t offset,
                   std::span<const std::uint8_t> bytes, FieldSink& sink) {
  const auto width = static_cast<std::size_t>(field.Width);
  std::string labels;
  std::int64_t count = 0;
  for (std::size_t at = offset; width > 0 && at + width <= bytes.size(); at += width) {
    Decoded one;
    Decode(field.Entries->Fields, bytes.subspan(at, width), nullptr, one);
    labels += (count++ == 0 ? "" : "; ") + Fill(field.Entries->Label, one.Texts, true);
  }
  sink.Entries(std::move(labels), count);
}

void Decode(std::span<const PacketField> layout, std::span<const std::uint8_t> bytes,
            const PacketEntry* entry, FieldSink& sink) {
  const auto size = static_cast<std::int64_t>(bytes.size());
  for (const PacketField& field : layout) {
    std::int64_t offset = field.Offset;
    if (field.FromSlot) {
      if (entry == nullptr) continue;
      offset = entry->Positions[static_cast<std::size_t>(field.Offset)];
    }
    const std::string_view name = field.Name != nullptr ? field.Name : field.Field;
    if (field.Reading == FieldReading::kEntries) {
      if (offset >= 0) DecodeEntries(field, static_cast<std::size_t>(offset), bytes, sink);
      continue;
    }
    const std::int64_t width = field.Width == kRest ? size - offset : field.Width;
    if (offset < 0 || width <= 0 || offset + width > size) continue;
    const auto value =
        bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(width));
    switch (field.Reading) {
      case FieldReading::kInt:
        sink.Int(name, LittleEndian(value));
        break;
      case FieldReading::kText:
        sink.Text(name, value);
        break;
      case FieldReading::kAddress:
        sink.Address(name, value);
        break;
      case FieldReading::kCell:
        sink.Cell(name, value[0] * 4 + value[1] / 64, (value[1] % 64) * 16 + value[2] / 16);
        break;
      case FieldReading::kMove:
        sink.Move(name, value[0] * 4 + value[1] / 64, (value[1] % 64) * 16 + value[2] / 16,
                  (value[2] % 16) * 64 + value[3] / 4, (value[3] % 4) * 256 + value[4]);
        break;
      case FieldReading::kBytes:
        sink.Bytes(name, width);
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

void ReadPacketFields(const PacketDescription& packet, std::span<const std::uint8_t> bytes,
                      const VersionEntry* version, FieldSink& sink) {
  const PacketEntry* entry =
      packet.Entry != nullptr && version != nullptr ? &(version->*packet.Entry) : nullptr;
  Decode(packet.Layout, bytes, entry, sink);
}

PacketRendering RenderPacket(const PacketDescription& packet, std::span<const std::uint8_t> bytes,
                             const VersionEntry* version, std::int32_t versionNumber,
                             std::string_view why) {
  Decoded decoded;
  const bool hasId = packet.Kind == PacketKind::kPacket || packet.Kind == PacketKind::kUnknown;
  const auto id = static_cast<std::uint16_t>(
      LittleEndian(bytes.first(std::min<std::size_t>(bytes.size(), hasId ? 2 : 0))));
  if (hasId) decoded.AddNumber("id", id);
  if (packet.Entry != nullptr) decoded.AddNumber("version", versionNumber);
  ReadPacketFields(packet, bytes, version, decoded);
  // What the packet's bytes do not say: the connection's version, and why
  // bytes went unread.
  decoded.Texts.push_back({"version", std::to_string(versionNumber)});
  if (!why.empty()) {
    decoded.Values.push_back({"why", true, 0, std::string(why)});
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
