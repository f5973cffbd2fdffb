#include "protocol/packet_buffer.h"

#include <algorithm>

#include "base/byte_order.h"

namespace quib {

namespace {

bool Inside(std::int32_t offset) { return offset >= 0 && offset < kBufferSize; }

// Each byte of a value lands or is read inside the buffer on its own, so a
// value at the very end is cut, not written past it.
void WriteBytes(PacketBuffer& buffer, std::int32_t offset, const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) WriteByte(buffer, offset + i, bytes[i]);
}

void ReadBytes(const PacketBuffer& buffer, std::int32_t offset, std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) bytes[i] = ReadByte(buffer, offset + i);
}

}  // namespace

void WriteByte(PacketBuffer& buffer, std::int32_t offset, std::uint8_t value) {
  if (Inside(offset)) buffer[static_cast<std::size_t>(offset)] = value;
}

std::uint8_t ReadByte(const PacketBuffer& buffer, std::int32_t offset) {
  return Inside(offset) ? buffer[static_cast<std::size_t>(offset)] : 0;
}

void WriteInt16(PacketBuffer& buffer, std::int32_t offset, std::uint16_t value) {
  std::uint8_t bytes[2];
  StoreLittle16(bytes, value);
  WriteBytes(buffer, offset, bytes, 2);
}

void WriteInt32(PacketBuffer& buffer, std::int32_t offset, std::uint32_t value) {
  std::uint8_t bytes[4];
  StoreLittle32(bytes, value);
  WriteBytes(buffer, offset, bytes, 4);
}

std::int16_t ReadInt16(const PacketBuffer& buffer, std::int32_t offset) {
  std::uint8_t bytes[2];
  ReadBytes(buffer, offset, bytes, 2);
  return static_cast<std::int16_t>(LoadLittle16(bytes));
}

std::int32_t ReadInt32(const PacketBuffer& buffer, std::int32_t offset) {
  std::uint8_t bytes[4];
  ReadBytes(buffer, offset, bytes, 4);
  return static_cast<std::int32_t>(LoadLittle32(bytes));
}

void WriteFixedString(PacketBuffer& buffer, std::int32_t offset, std::string_view text,
                      std::int32_t width) {
  if (width <= 0) return;
  const auto kept = static_cast<std::int32_t>(text.size()) > width
                        ? width - 1
                        : static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < width; ++i) {
    const auto byte =
        i < kept ? static_cast<std::uint8_t>(text[static_cast<std::size_t>(i)]) : std::uint8_t{0};
    WriteByte(buffer, offset + i, byte);
  }
}

std::string ReadFixedString(const PacketBuffer& buffer, std::int32_t offset, std::int32_t count) {
  count = std::clamp(count, 1, kBufferSize);
  std::string text(static_cast<std::size_t>(count), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char>(ReadByte(buffer, offset + static_cast<std::int32_t>(i)));
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

void WritePositionPair(PacketBuffer& buffer, std::int32_t offset, std::int32_t x0, std::int32_t y0,
                       std::int32_t x1, std::int32_t y1) {
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
