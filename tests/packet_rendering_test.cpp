// The C++ rendering of a packet, as the dissector shows it: its Info text and
// its values, from the packet's description. dissector_test.cpp holds every
// packet of a capture of the road against what tshark shows.
#include "protocol/packet_rendering.h"

#include <gtest/gtest.h>

#include "protocol/packet_buffer.h"
#include "tests/test_support.h"

namespace quib {
namespace {

using test::Bytes;
using test::Concat;
using test::FromText;
using test::Le16;
using test::Le32;
using test::Zeros;

// Version 5 of the shipped database, slots and all.
const VersionEntry& Version5() {
  static const PacketTable table = test::ShippedTable();
  return table.at(5);
}

PacketRendering Render(const PacketDescription& packet, const Bytes& bytes,
                       std::string_view why = {}) {
  return RenderPacket(packet, bytes, &Version5(), 5, why);
}

std::string ValuesOf(const PacketRendering& rendering) {
  std::string text;
  for (const PacketValue& value : rendering.Values) {
    text += (text.empty() ? "" : ", ") + value.Name + "=" +
            (value.IsText ? "\"" + value.Text + "\"" : std::to_string(value.Number));
  }
  return text;
}

Bytes Built(void (*build)(PacketBuffer&), std::size_t length) {
  PacketBuffer buffer{};
  build(buffer);
  return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
}

TEST(PacketRendering, ClientPacketsReadTheirFieldsFromTheVersionsSlots) {
  const PacketRendering walk = Render(kWalk, test::Walk());
  EXPECT_EQ(walk.Info, "0x0085 Walk to (100, 120)");
  EXPECT_EQ(ValuesOf(walk), "id=133, version=5, x=100, y=120");

  EXPECT_EQ(Render(kMapLogin, test::MapLogin()).Info, "0x0072 Map login: packet version 5");
  const PacketRendering chat = Render(kChat, test::Chat("hello"));
  EXPECT_EQ(chat.Info, "0x008C Chat: hello");
  EXPECT_EQ(ValuesOf(chat), "id=140, version=5, length=9, text=\"hello\"");
  EXPECT_EQ(Render(kRestart, Bytes{0xB2, 0x00, 1}).Info, "0x00B2 Restart: type 1");
  EXPECT_EQ(Render(kCharacterSelect, test::CharSelect(2)).Info, "0x0066 Character select: slot 2");
  EXPECT_EQ(Render(kLoginRequest, test::LoginRequest()).Info, "0x0064 Login request");
}

TEST(PacketRendering, RepliesAsTheServerBuildsThem) {
  const PacketRendering walk = Render(kWalkReply, Built(
                                                      [](PacketBuffer& b) {
                                                        WriteInt16(b, 0, kWalkReply.Id);
                                                        WriteInt32(b, 2, 77);
                                                        WritePositionPair(b, 6, 150, 170, 100, 120);
                                                      },
                                                      12));
  EXPECT_EQ(walk.Info, "0x0087 Walk reply from (150, 170) to (100, 120)");
  EXPECT_EQ(ValuesOf(walk), "id=135, tick=77, from_x=150, from_y=170, x=100, y=120");

  EXPECT_EQ(
      Render(kChatLine, Concat({Le16(0x008D), Le16(13), Le32(19000), FromText("hello")})).Info,
      "0x008D Chat line: hello");
  const PacketRendering change =
      Render(kMapChange, Built(
                             [](PacketBuffer& b) {
                               WriteInt16(b, 0, kMapChange.Id);
                               WriteFixedString(b, 2, "prontera.gat", 16);
                               WriteInt16(b, 18, 150);
                               WriteInt16(b, 20, 170);
                             },
                             26));
  EXPECT_EQ(change.Info, "0x0091 Map change: prontera.gat (150, 170)");
  EXPECT_EQ(ValuesOf(change), "id=145, map=\"prontera.gat\", x=150, y=170, padding=4");
  EXPECT_EQ(Render(kStatus, Concat({Le16(0x00B0), Le16(1), Le32(99)})).Info,
            "0x00B0 Status: type 1, value 99");
}

TEST(PacketRendering, RepeatedEntriesAreJoinedAndCounted) {
  const Bytes servers = Concat({Le16(0x0069), Le16(79), Le32(0), Le32(2000000), Zeros(35),
                                Bytes{0x7F, 0x00, 0x00, 0x01}, Le16(6900),
                                FromText("Quib-Test Server"), Zeros(4), Le16(3), Zeros(4)});
  const PacketRendering list = Render(kServerList, servers);
  EXPECT_EQ(list.Info, "0x0069 Server list: Quib-Test Server 127.0.0.1:6900, 3 users");
  EXPECT_EQ(ValuesOf(list),
            "id=105, length=79, account_id=2000000, "
            "entries=\"Quib-Test Server 127.0.0.1:6900, 3 users\", entry_count=1");

  Bytes characters = Concat({Le16(0x006B), Le16(24 + 2 * 106), Zeros(20)});
  for (std::uint8_t slot = 0; slot < 2; ++slot) {
    const Bytes entry =
        Concat({Le32(19000u + slot), Zeros(70), FromText("Slot " + std::to_string(slot + 1)),
                Zeros(18), Zeros(6), Bytes{slot, 0}});
    characters = Concat({characters, entry});
  }
  const PacketRendering list2 = Render(kCharacterList, characters);
  EXPECT_EQ(list2.Info, "0x006B Character list: 2 characters");
  EXPECT_EQ(list2.Values.at(2).Text, "Slot 1, id 19000, slot 0; Slot 2, id 19001, slot 1");
}

TEST(PacketRendering, WhatACaptureShowsBeside) {
  const PacketRendering echo = Render(kAccountEcho, Bytes{0x80, 0x84, 0x1E, 0x00});
  EXPECT_EQ(echo.Info, "Account echo: 2000000");
  EXPECT_EQ(ValuesOf(echo), "account_id=2000000");
  EXPECT_EQ(Render(kUnknownPacket, Bytes{0x36, 0x04}).Info, "Unknown packet 0x0436");
  const PacketRendering dropped = Render(kDroppedBytes, Zeros(6), kDroppedBehindUnknown);
  EXPECT_EQ(dropped.Info, "Dropped: 6 bytes, with the packet before it");
  EXPECT_EQ(ValuesOf(dropped), "bytes=6, why=\"with the packet before it\"");
}

// --- Packets that do not hold their fields ----------------------------------------

TEST(PacketRendering, AFieldOutsideThePacketShowsAsAQuestionMark) {
  EXPECT_EQ(Render(kWalk, Bytes{0x85, 0x00, 0x19}).Info, "0x0085 Walk to ?");
  // Without a version entry the slots are unknown.
  EXPECT_EQ(RenderPacket(kWalk, test::Walk(), nullptr).Info, "0x0085 Walk to ?");
  EXPECT_EQ(Render(kChat, Concat({Le16(0x008C), Le16(4)})).Info, "0x008C Chat: ?");
  EXPECT_EQ(Render(kServerList, Concat({Le16(0x0069), Le16(47), Zeros(43)})).Info,
            "0x0069 Server list: ");
}

TEST(PacketRendering, TextEndsAtItsFirstZeroByteAndIsLatin1) {
  EXPECT_EQ(Render(kChatLine,
                   Concat({Le16(0x008D), Le16(14), Le32(1), Bytes{'h', 0xE9, 0, 'x', 'y', 'z'}}))
                .Info,
            "0x008D Chat line: h\xC3\xA9");
}

}  // namespace
}  // namespace quib
