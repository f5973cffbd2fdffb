#include "protocol/packet_buffer.h"

#include <algorithm>

namespace quib {

namespace {

bool Inside(std::int32_t offset) { return offset >= 0 && offset < kBufferSize; }

}  // namespace

void WriteByte(PacketBuffer& buffer, std::int32_t offset, std::uint8_t value) {
  if (Inside(offset)) buffer[offset] = value;
}

void WriteInt16(PacketBuffer& buffer, std::int32_t offset, std::uint16_t value) {
  WriteByte(buffer, offset, static_cast<std::uint8_t>(value));
  WriteByte(buffer, offset + 1, static_cast<std::uint8_t>(value >> 8));
}

void WriteInt32(PacketBuffer& buffer, std::int32_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    WriteByte(buffer, offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

std::uint8_t ReadByte(const PacketBuffer& buffer, std::int32_t offset) {
  return Inside(offset) ? buffer[offset] : 0;
}

std::int16_t ReadInt16(const PacketBuffer& buffer, std::int32_t offset) {
  return static_cast<std::int16_t>(ReadByte(buffer, offset) | ReadByte(buffer, offset + 1) << 8);
}

std::int32_t ReadInt32(const PacketBuffer& buffer, std::int32_t offset) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(ReadByte(buffer, offset + i)) << (8 * i);
  }
  return static_cast<std::int32_t>(value);
}

void WriteFixedString(PacketBuffer& buffer, std::int32_t offset, std::string_view text,
                      std::int32_t width) {
  if (width <= 0) return;
  const auto kept = static_cast<std::int32_t>(text.size()) > width
                        ? width - 1
                        : static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < width; ++i) {
    const auto byte = i < kept ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{0};
    WriteByte(buffer, offset + i, byte);
  }
}

std::string ReadFixedString(const PacketBuffer& buffer, std::int32_t offset, std::int32_t count) {
  count = std::clamp(count, 1, kBufferSize);
  std::string text(static_cast<std::size_t>(count), '\0');
  for (std::int32_t i = 0; i < count; ++i) {
    text[i] = static_cast<char>(ReadByte(buffer, offset + i));
  }
  return text;
}

// Packing works on the bit patterns of 32-bit values, so multiplications are
// done unsigned: no cell value can overflow them.
void WritePosition(PacketBuffer& buffer, std::int32_t offset, std::int32_t x, std::int32_t y) {
  const auto ux = static_cast<std::uint32_t>(x);
  const auto uy = static_cast<std::uint32_t>(y);
  WriteByte(buffer, offset, static_cast<std::uint8_t>(x / 4));
  WriteByte(buffer, offset + 1, static_cast<std::uint8_t>((ux * 64) | ((y / 16) & 63)));
  WriteByte(buffer, offset + 2, static_cast<std::uint8_t>(uy * 16));
}

void WritePositionPair(PacketBuffer& buffer, std::int32_t offset, std::int32_t x0,
                       std::int32_t y0, std::int32_t x1, std::int32_t y1) {
  const auto ux0 = static_cast<std::uint32_t>(x0);
  const auto uy0 = static_cast<std::uint32_t>(y0);
  const auto ux1 = static_cast<std::uint32_t>(x1);
  WriteByte(buffer, offset, static_cast<std::uint8_t>(x0 / 4));
  WriteByte(buffer, offset + 1, static_cast<std::uint8_t>((ux0 * 64) | ((y0 / 16) & 63)));
  WriteByte(buffer, offset + 2, static_cast<std::uint8_t>((uy0 * 16) | ((x1 / 64) & 15)));
  WriteByte(buffer, offset + 3, static_cast<std::uint8_t>((ux1 * 4) | ((y1 / 256) & 3)));
  WriteByte(buffer, offset + 4, static_cast<std::uint8_t>(y1 & 255));
}

std::string HexDump(const PacketBuffer& buffer, std::int32_t first, std::int32_t end) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::int32_t i = first; i < end; ++i) {
    const std::uint8_t byte = ReadByte(buffer, i);
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

}  // namespace quib
