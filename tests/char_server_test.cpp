#include "protocol/char_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_host.h"

namespace quib::test {
namespace {

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

const Bytes kAccountEcho{0x80, 0x84, 0x1E, 0x00};

TEST(CharServerTest, ConnectEchoesTheAccountThenListsNineCharacters) {
  TestHost host;
  ConnectionRecord& client = host.Connect();
  host.Feed(client, Connect0065(2000000));
  const Bytes sent = host.Sent(client);
  ASSERT_EQ(sent, Concat({kAccountEcho, CharacterList()}));
  const auto at = [&](int entry, int offset) { return sent[4 + 24 + 106 * entry + offset]; };
  EXPECT_EQ(at(6, 52), 16);
  EXPECT_EQ(at(7, 52), 14);
  EXPECT_EQ(Bytes(sent.begin() + 4 + 24 + 74, sent.begin() + 4 + 24 + 98),
            Concat({FromText("Slot 1"), Zeros(18)}));
  EXPECT_EQ(host.Log, Lines{"CharactersReq - 7F000001"});
  EXPECT_EQ(client.State, kStateCharacter);
  EXPECT_EQ(client.CharacterId, 19008);
}

TEST(CharServerTest, MarkerAndPacket0187SendNothing) {
  TestHost host;
  ConnectionRecord& client = host.Connect();
  host.Feed(client, Concat({Le16(0x020B), Zeros(17)}));
  EXPECT_EQ(client.State, kStateCharacter);
  host.Feed(client, Concat({Le16(0x0187), Zeros(4)}));
  EXPECT_TRUE(host.Sent(client).empty());
  EXPECT_TRUE(host.Log.empty());
  EXPECT_EQ(client.RecvLength, 0);
}

TEST(CharServerTest, DeleteAndCreateSentTogetherAreRefusedOnePerTick) {
  TestHost host;
  ConnectionRecord& client = host.Connect();
  host.Feed(client, Concat({Le16(0x0068), Zeros(44), Le16(0x0067), Zeros(35)}));
  EXPECT_EQ(host.Sent(client), (Bytes{0x70, 0x00, 0x01, 0x00}));
  EXPECT_EQ(client.RecvLength, 37);
  host.Handle(client);
  EXPECT_EQ(host.Sent(client), (Bytes{0x6E, 0x00, 0x02}));
  EXPECT_EQ(client.RecvLength, 0);
  EXPECT_TRUE(host.Log.empty());
}

TEST(CharServerTest, SelectSendsTheMapServerThenCloses) {
  TestHost host;
  ConnectionRecord& client = host.Connect();
  host.Feed(client, Concat({Le16(0x0066), Bytes{3}}));
  EXPECT_EQ(host.Sent(client),
            Concat({Le16(0x0071), Le32(19003), FromText("prontera.gat"), Zeros(4),
                    Bytes{0x7F, 0x00, 0x00, 0x01}, Le16(TestHost::kPort)}));
  EXPECT_TRUE(host.Closed(client));
  EXPECT_EQ(host.Log, Lines{"Character Select: 3 - 7F000001"});
  EXPECT_EQ(client.CharSlot, 3);
  EXPECT_EQ(client.RedetectVersion, -1);
}

// --- The map name and slot ----------------------------------------------------

// The 0x0071 a new connection is sent for `slot`.
Bytes Select(TestHost& host, std::uint8_t slot) {
  ConnectionRecord& client = host.Connect();
  PacketBuffer scratch{};
  HandleCharacterSelect(host, host.Hold(client, {0x66, 0x00, slot}), scratch);
  return host.Sent(client);
}

TEST(CharacterSelectTest, MapNameIsPaddedOrCutToSixteenBytes) {
  TestHost host;
  const auto mapName = [&host](const std::string& text) {
    host.Map = text;
    const Bytes packet = Select(host, 0);
    return Bytes(packet.begin() + 6, packet.begin() + 22);
  };
  EXPECT_EQ(mapName("prontera.gat"), Concat({FromText("prontera.gat"), Zeros(4)}));
  EXPECT_EQ(mapName("sixteen_chars.ga"), FromText("sixteen_chars.ga"));
  EXPECT_EQ(mapName("a_map_name_far_too_long.gat"),
            Concat({FromText("a_map_name_far_"), Zeros(1)}));
}

TEST(CharacterSelectTest, AnySlotIsAddedToTheFirstCharacterId) {
  TestHost host;
  const Bytes packet = Select(host, 255);
  EXPECT_EQ(Bytes(packet.begin() + 2, packet.begin() + 6), Le32(19255));
  EXPECT_EQ(host.Log, Lines{"Character Select: 255 - 7F000001"});
}

// --- Refusal at more than 1000 connections ------------------------------------------

TEST(CharServerTest, ConnectIsListedWithOneThousandConnections) {
  TestHost host;
  ConnectionRecord& client = host.Connect();
  host.OtherConnections = 999;
  host.Feed(client, Connect0065(7));
  EXPECT_EQ(host.Sent(client).size(), 4u + 978u);
}

TEST(CharServerTest, ConnectIsRefusedWithOneThousandAndOneConnections) {
  TestHost host;
  ConnectionRecord& client = host.Connect();
  host.OtherConnections = 1000;
  host.Feed(client, Concat({Connect0065(7), Le16(0x0068), Zeros(44)}));
  EXPECT_EQ(host.Sent(client), (Bytes{0x6C, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(host.Closed(client));
  EXPECT_TRUE(host.Log.empty());
  // The delete sent behind the connect is dropped with it.
  EXPECT_EQ(client.RecvLength, 0);
  EXPECT_NE(client.State, kStateCharacter);
}

}  // namespace
}  // namespace quib::test
