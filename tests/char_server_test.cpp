#include "protocol/char_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "net/socket_types.h"
#include "tests/test_support.h"

namespace quib {
namespace {

using test::Bytes;
using test::Concat;
using test::FromText;
using test::Le16;
using test::Le32;
using test::LogLines;
using test::Zeros;
using Lines = std::vector<std::string>;

// One 106-byte entry of 0x006B as its table lays it out, field by field.
Bytes CharacterEntry(int i) {
  Bytes name = FromText("Slot " + std::to_string(i + 1));
  name.resize(24, 0);
  return Concat({Le32(19000 + i),
                 Le32(0),
                 Le32(0),
                 Le32(0),
                 Le32(50),  // 0
                 Le32(0),
                 Le32(0),
                 Le32(0),
                 Le32(0),
                 Le32(0),  // 20
                 Le16(0),
                 Le16(32767),
                 Le16(32767),
                 Le16(32767),
                 Le16(32767),  // 40
                 Le16(50),
                 Le16(static_cast<std::uint16_t>(i == 6 ? 16 : i + 7)),  // 50
                 Le16(0),
                 Le16(0),
                 Le16(99),  // 54
                 Le16(0),
                 Le16(0),
                 Le16(0),
                 Le16(0),
                 Le16(0),
                 Le16(0),
                 Le16(0),  // 60
                 name,     // 74
                 Bytes(6, 99),
                 Bytes{static_cast<std::uint8_t>(i)},
                 Bytes{0}});  // 98
}

Bytes CharacterList() {
  Bytes list = Concat({Le16(0x006B), Le16(978), Zeros(20)});
  for (int i = 0; i < 9; ++i) {
    const Bytes entry = CharacterEntry(i);
    list.insert(list.end(), entry.begin(), entry.end());
  }
  return list;
}

Bytes Connect0065(std::uint32_t accountId) {
  return Concat({Le16(0x0065), Le32(accountId), Zeros(11)});
}

class CharServerTest : public test::ServerFixture {
 protected:
  // Dummy records without sockets, so that the table holds `count` in all.
  void FillTableTo(std::int32_t count) {
    while (form.ConnectionCount() < count) form.ConnectionTable.emplace_back();
  }
};

TEST_F(CharServerTest, ConnectEchoesTheAccountThenListsNineCharacters) {
  const int client = Connect();
  Send(client, Connect0065(2000000));
  Tick();
  EXPECT_EQ(Received(client, 4), (Bytes{0x80, 0x84, 0x1E, 0x00}));
  const Bytes list = Received(client, 978);
  ASSERT_EQ(list, CharacterList());
  const auto at = [&](int entry, int offset) { return list[24 + 106 * entry + offset]; };
  EXPECT_EQ(at(6, 52), 16);
  EXPECT_EQ(at(7, 52), 14);
  EXPECT_EQ(Bytes(list.begin() + 24 + 74, list.begin() + 24 + 98),
            Concat({FromText("Slot 1"), Zeros(18)}));
  EXPECT_TRUE(NothingMore(client));
  EXPECT_EQ(Log(), Lines{"CharactersReq - 7F000001"});
  EXPECT_EQ(Record(client).State, kStateCharacter);
  EXPECT_EQ(Record(client).CharacterId, 19008);
}

TEST_F(CharServerTest, MarkerAndPacket0187SendNothing) {
  const int client = Connect();
  Send(client, Concat({Le16(0x020B), Zeros(17)}));
  Tick();
  EXPECT_EQ(Record(client).State, kStateCharacter);
  Send(client, Concat({Le16(0x0187), Zeros(4)}));
  Tick();
  EXPECT_TRUE(NothingMore(client));
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(Record(client).RecvLength, 0);
}

TEST_F(CharServerTest, DeleteAndCreateSentTogetherAreRefusedOnePerTick) {
  const int client = Connect();
  Send(client, Concat({Le16(0x0068), Zeros(44), Le16(0x0067), Zeros(35)}));
  Tick();
  EXPECT_EQ(Received(client, 4), (Bytes{0x70, 0x00, 0x01, 0x00}));
  EXPECT_TRUE(NothingMore(client));
  EXPECT_EQ(Record(client).RecvLength, 37);
  Tick();
  EXPECT_EQ(Received(client, 3), (Bytes{0x6E, 0x00, 0x02}));
  EXPECT_EQ(Record(client).RecvLength, 0);
  EXPECT_TRUE(Log().empty());
}

TEST_F(CharServerTest, SelectSendsTheMapServerThenCloses) {
  const int client = Connect();
  Send(client, Concat({Le16(0x0066), Bytes{3}}));
  Tick();
  EXPECT_EQ(Received(client, 28), Concat({Le16(0x0071), Le32(19003), FromText("prontera.gat"),
                                          Zeros(4), Bytes{0x7F, 0x00, 0x00, 0x01},
                                          Le16(static_cast<std::uint16_t>(form.ListeningPort()))}));
  EXPECT_TRUE(test::PeerClosed(clients[client]));
  EXPECT_EQ(Log(), Lines{"Character Select: 3 - 7F000001"});
  EXPECT_EQ(Record(client).CharSlot, 3);
  EXPECT_EQ(Record(client).RedetectVersion, -1);
}

// --- The map name and slot, built without a socket ----------------------------------

class CharacterSelectTest : public ::testing::Test {
 protected:
  // The 0x0071 built for `slot`, as the scratch buffer holds it.
  Bytes Select(std::uint8_t slot) {
    ConnectionRecord record;
    record.RecvBuffer[0] = 0x66;
    record.RecvBuffer[2] = slot;
    record.RecvLength = 3;
    PacketBuffer scratch{};
    HandleCharacterSelect(form, record, scratch);
    return Bytes(scratch.begin(), scratch.begin() + 28);
  }
  Bytes MapName(const std::string& text) {
    form.Text2.SetText(text);
    const Bytes packet = Select(0);
    return Bytes(packet.begin() + 6, packet.begin() + 22);
  }
  Form1 form;
};

TEST_F(CharacterSelectTest, MapNameIsPaddedOrCutToSixteenBytes) {
  EXPECT_EQ(MapName("prontera.gat"), Concat({FromText("prontera.gat"), Zeros(4)}));
  EXPECT_EQ(MapName("sixteen_chars.ga"), FromText("sixteen_chars.ga"));
  EXPECT_EQ(MapName("a_map_name_far_too_long.gat"),
            Concat({FromText("a_map_name_far_"), Zeros(1)}));
}

TEST_F(CharacterSelectTest, AnySlotIsAddedToTheFirstCharacterId) {
  const Bytes packet = Select(255);
  EXPECT_EQ(Bytes(packet.begin() + 2, packet.begin() + 6), Le32(19255));
  EXPECT_EQ(LogLines(form.List1), Lines{"Character Select: 255 - 0"});
}

// --- Refusal at more than 1000 connections ------------------------------------------

TEST_F(CharServerTest, ConnectIsListedWithOneThousandConnections) {
  const int client = Connect();
  FillTableTo(1000);
  Send(client, Connect0065(7));
  Tick();
  EXPECT_EQ(Received(client, 4), Le32(7));
  EXPECT_EQ(Received(client, 978).size(), 978u);
}

TEST_F(CharServerTest, ConnectIsRefusedWithOneThousandAndOneConnections) {
  const int client = Connect();
  FillTableTo(1001);
  Send(client, Concat({Connect0065(7), Le16(0x0068), Zeros(44)}));
  Tick();
  EXPECT_EQ(Received(client, 4), (Bytes{0x6C, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(test::PeerClosed(clients[client]));
  EXPECT_TRUE(Log().empty());
  // The delete sent behind the connect is dropped with it.
  EXPECT_EQ(Record(client).RecvLength, 0);
  EXPECT_NE(Record(client).State, kStateCharacter);
}

}  // namespace
}  // namespace quib
