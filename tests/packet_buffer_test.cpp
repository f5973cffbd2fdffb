#include "protocol/packet_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace quib {
namespace {

using test::Bytes;
using test::Concat;

Bytes Slice(const PacketBuffer& buffer, std::size_t first, std::size_t count) {
  return Bytes(buffer.begin() + first, buffer.begin() + first + count);
}

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(PacketBufferTest, FixedStringPadsCutsOrFillsItsField) {
  PacketBuffer buffer{};
  buffer.fill(0xEE);
  WriteFixedString(buffer, 0, "Slot 1", 23);
  EXPECT_EQ(Slice(buffer, 0, 24), Concat({TextBytes("Slot 1"), Bytes(17, 0), Bytes{0xEE}}));

  buffer.fill(0xEE);
  WriteFixedString(buffer, 0, "abcdefghijklmnopqrstuvwx", 20);  // 24 characters
  EXPECT_EQ(Slice(buffer, 0, 21),
            Concat({TextBytes("abcdefghijklmnopqrs"), Bytes{0}, Bytes{0xEE}}));

  buffer.fill(0xEE);
  WriteFixedString(buffer, 0, "abcdefghijklmnopqrst", 20);  // exactly 20
  EXPECT_EQ(Slice(buffer, 0, 21), Concat({TextBytes("abcdefghijklmnopqrst"), Bytes{0xEE}}));
}

TEST(PacketBufferTest, FixedStringReadKeepsZeroBytesAndClampsItsCount) {
  PacketBuffer buffer{};
  WriteFixedString(buffer, 10, "ab", 4);
  EXPECT_EQ(ReadFixedString(buffer, 10, 4), std::string("ab\0\0", 4));
  EXPECT_EQ(ReadFixedString(buffer, 10, 0), "a");
  EXPECT_EQ(ReadFixedString(buffer, 10, -7), "a");
  EXPECT_EQ(ReadFixedString(buffer, 0, 5000).size(), 2048u);
}

TEST(PacketBufferTest, PositionsPackTenBitsPerCoordinate) {
  PacketBuffer buffer{};
  WritePosition(buffer, 1, 150, 170);
  EXPECT_EQ(Slice(buffer, 0, 5), (Bytes{0x00, 0x25, 0x8A, 0xA0, 0x00}));
  WritePositionPair(buffer, 0, 150, 170, 100, 120);
  EXPECT_EQ(Slice(buffer, 0, 5), (Bytes{0x25, 0x8A, 0xA1, 0x90, 0x78}));
  WritePositionPair(buffer, 0, 1023, 1023, 0, 0);
  EXPECT_EQ(Slice(buffer, 0, 5), (Bytes{0xFF, 0xFF, 0xF0, 0x00, 0x00}));
  WritePositionPair(buffer, 0, 0, 0, 1023, 1023);
  EXPECT_EQ(Slice(buffer, 0, 5), (Bytes{0x00, 0x00, 0x0F, 0xFF, 0xFF}));
}

TEST(PacketBufferTest, HexDumpIsUppercaseWithoutSeparators) {
  PacketBuffer buffer{};
  buffer[0] = 0x01;
  buffer[1] = 0xAB;
  EXPECT_EQ(HexDump(buffer, 0, 2), "01AB");
  EXPECT_EQ(HexDump(buffer, 2, 2), "");
  EXPECT_EQ(HexDump(buffer, 5, 2), "");
}

// --- Staying inside the buffer -----------------------------------------------

// The buffer with guard bytes after it: a write past its end would land there.
struct Guarded {
  PacketBuffer buffer{};
  std::array<std::uint8_t, 32> guard{};
};

TEST(PacketBufferTest, WritesPastTheEndAreDropped) {
  Guarded g;
  WriteInt32(g.buffer, 2046, 0x44332211);
  WriteInt16(g.buffer, 2047, 0x6655);
  WriteFixedString(g.buffer, 2040, "a text longer than what is left", 30);
  WritePositionPair(g.buffer, 2045, 150, 170, 100, 120);
  WriteByte(g.buffer, 2048, 0x77);
  WriteByte(g.buffer, -1, 0x77);
  WriteInt32(g.buffer, -2, 0x44332211);
  EXPECT_EQ(g.guard, (std::array<std::uint8_t, 32>{}));
  EXPECT_EQ(g.buffer[0], 0x33);  // the two bytes of the -2 write that fall inside
  EXPECT_EQ(g.buffer[1], 0x44);
  EXPECT_EQ(Slice(g.buffer, 2045, 3), (Bytes{0x25, 0x8A, 0xA1}));
}

TEST(PacketBufferTest, ReadsPastTheEndGiveZero) {
  Guarded g;
  g.buffer.fill(0xFF);
  g.guard.fill(0xAA);
  EXPECT_EQ(ReadByte(g.buffer, 2048), 0);
  EXPECT_EQ(ReadByte(g.buffer, -1), 0);
  EXPECT_EQ(ReadInt16(g.buffer, 2047), 0x00FF);
  EXPECT_EQ(ReadInt32(g.buffer, 2046), 0x0000FFFF);
  EXPECT_EQ(ReadFixedString(g.buffer, 2047, 3), std::string("\xFF\0\0", 3));
  EXPECT_EQ(HexDump(g.buffer, 2046, 2050), "FFFF0000");
}

}  // namespace
}  // namespace quib
