// Buffer primitives for every packet the server reads or builds.
//
// Wire format: integers are little-endian; the packet id is a 16-bit value at
// offset 0; text fields have a fixed width and are filled with zero bytes.
// Positions on the map are packed: a cell in 3 bytes (x and y, 10 bits each),
// a move from one cell to another in 5 bytes.
//
// Every primitive stays inside its 2048-byte buffer: a read past the end gives
// 0 and a write past the end is dropped, whatever offset a caller passes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quib {

inline constexpr std::int32_t kBufferSize = 2048;
using PacketBuffer = std::array<std::uint8_t, kBufferSize>;

void WriteByte(PacketBuffer& buffer, std::int32_t offset, std::uint8_t value);
void WriteInt16(PacketBuffer& buffer, std::int32_t offset, std::uint16_t value);
void WriteInt32(PacketBuffer& buffer, std::int32_t offset, std::uint32_t value);

std::uint8_t ReadByte(const PacketBuffer& buffer, std::int32_t offset);
std::int16_t ReadInt16(const PacketBuffer& buffer, std::int32_t offset);
std::int32_t ReadInt32(const PacketBuffer& buffer, std::int32_t offset);

// Writes exactly `width` bytes: a shorter text is padded with zero bytes, a
// longer one is cut to width - 1 characters and a zero byte, a text of exactly
// `width` characters fills the field with no zero byte.
void WriteFixedString(PacketBuffer& buffer, std::int32_t offset, std::string_view text,
                      std::int32_t width);

// `count` bytes from `offset` as text, zero bytes included; count is taken
// within 1 to 2048.
std::string ReadFixedString(const PacketBuffer& buffer, std::int32_t offset, std::int32_t count);

// A cell packed into 3 bytes.
void WritePosition(PacketBuffer& buffer, std::int32_t offset, std::int32_t x, std::int32_t y);

// A move from (x0, y0) to (x1, y1) packed into 5 bytes.
void WritePositionPair(PacketBuffer& buffer, std::int32_t offset, std::int32_t x0, std::int32_t y0,
                       std::int32_t x1, std::int32_t y1);

// Bytes first to end - 1 as two uppercase hex digits each, no separators;
// empty when first is not below end.
std::string HexDump(const PacketBuffer& buffer, std::int32_t first, std::int32_t end);

}  // namespace quib
