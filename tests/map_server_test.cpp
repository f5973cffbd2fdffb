#include "protocol/map_server.h"

#include <chrono>
#include <string>
#include <thread>

#include "protocol/map_commands.h"
#include "tests/test_host.h"

namespace quib::test {
namespace {

Bytes ChatLine(std::int32_t speaker, const std::string& text) {
  return Concat({Le16(0x008D), Le16(static_cast<std::uint16_t>(8 + text.size())),
                 Le32(static_cast<std::uint32_t>(speaker)), FromText(text)});
}

Bytes MapChange(const std::string& name, std::uint16_t x, std::uint16_t y) {
  Bytes field = FromText(name);
  field.resize(16, 0);
  return Concat({Le16(0x0091), field, Le16(x), Le16(y), Zeros(4)});
}

// Clients 0 and 1 are in the map at packet version 5; client 2 is still at
// the character server. Requests are put straight into a record's buffer and
// handed to the branch, as the dispatcher does.
class MapServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) host.Connect().PacketVersion = 5;
    Client(0).State = kStateMap;
    Client(1).State = kStateMap;
    Client(2).State = kStateCharacter;
    const VersionEntry* entry = FindVersion(host.Packets, 5);
    ASSERT_NE(entry, nullptr);
    version = *entry;
  }

  ConnectionRecord& Client(int client) { return host.At(static_cast<std::size_t>(client)); }
  ConnectionRecord& Feed(int client, const Bytes& bytes) {
    return host.Hold(Client(client), bytes);
  }
  Bytes Received(int client) { return host.Sent(Client(client)); }

  void ExpectNothingMore() {
    for (int client : {0, 1, 2}) EXPECT_TRUE(Received(client).empty()) << client;
  }

  Bytes Walk(int client, const Bytes& destination) {
    PacketBuffer fresh{};
    HandleWalk(host, Feed(client, Concat({Le16(0x0085), destination})), version, fresh);
    return Received(client);
  }

  TestHost host;
  VersionEntry version;
  PacketBuffer scratch{};
};

const Bytes kArrival = [] {
  Bytes all;
  for (int i = 0; i < 55; ++i) all = Concat({all, Le16(0x00B0), Le16(1), Le32(99)});
  return Concat({all, Le16(0x00A3), Le16(4), Le16(0x00A4), Le16(4)});
}();

TEST_F(MapServerTest, MapLoginEchoesPlacesGreetsAndLogs) {
  ConnectionRecord& record = Feed(2, Concat({Le16(0x0072), Zeros(17)}));
  record.CharacterId = 0x11223344;
  host.Position[0] = "1";
  host.Position[1] = "5000";
  HandleMapLogin(host, record, scratch);

  // The echo, then cell (2, 898) packed, then the two greetings.
  EXPECT_EQ(
      Received(2),
      Concat({Bytes{0x80, 0x84, 0x1E, 0x00},
              Concat({Le16(0x0073), Le32(TestHost::kTick), {0x00, 0xB8, 0x20}, {5, 5}}),
              ChatLine(0x11223344, "System : Welcome to the Quib-Server!!!"),
              ChatLine(0x11223344,
                       "System : Note, This is not intended to be a fully functional server.")}));
  ExpectNothingMore();

  EXPECT_EQ(record.State, kStateMap);
  EXPECT_EQ(record.PosX, 2);
  EXPECT_EQ(record.PosY, 898);
  EXPECT_EQ(host.Position[0], "2");
  EXPECT_EQ(host.Position[1], "898");
  EXPECT_EQ(host.Log, std::vector<std::string>{"7F000001- Map: PacketVersion = 5"});
}

TEST_F(MapServerTest, SystemMessageGoesOnlyToAConnectionInTheMap) {
  SendSystemMessage(host, Client(2), "hello");
  SendSystemMessage(host, Client(0), "hello");
  EXPECT_EQ(Received(0), ChatLine(0, "hello"));
  ExpectNothingMore();
}

TEST_F(MapServerTest, MapLoadedSendsTheArrivalPackets) {
  HandleMapLoaded(host, Feed(0, Le16(0x007D)), scratch);
  EXPECT_EQ(Received(0), kArrival);
  ExpectNothingMore();
}

TEST_F(MapServerTest, TickAndUserCountAnswerTheSenderOnly) {
  HandleTick(host, Feed(0, Concat({Le16(0x007E), Le32(0xDEADBEEF)})), scratch);
  EXPECT_EQ(Received(0), Concat({Le16(0x007F), Le32(TestHost::kTick)}));
  PacketBuffer fresh{};
  HandleUserCount(host, Feed(1, Le16(0x00C1)), fresh);
  EXPECT_EQ(Received(1), Concat({Le16(0x00C2), Le32(1)}));
  ExpectNothingMore();
}

TEST_F(MapServerTest, EmotionAndSndOriDoriAreBroadcastToTheMap) {
  ConnectionRecord& sender = Feed(0, {0xBF, 0x00, 0x07});
  sender.AccountId = 2000000;
  sender.CharacterId = 150001;
  HandleEmotion(host, sender, scratch);
  const Bytes emotion = Concat({Le16(0x00C0), Le32(2000000), {0x07}});
  EXPECT_EQ(Received(0), emotion);
  EXPECT_EQ(Received(1), emotion);

  PacketBuffer fresh{};
  HandleSndOriDori(host, Feed(0, {0xE7, 0x01, 0xFF, 0xFF, 0x0A, 0x0B, 0xFF, 0xFF, 0xFF, 0x0C}),
                   fresh);
  const Bytes oridori = Concat({Le16(0x009C), Le32(150001), {0x0A, 0x0B, 0x0C}});
  EXPECT_EQ(Received(0), oridori);
  EXPECT_EQ(Received(1), oridori);
  ExpectNothingMore();
}

TEST_F(MapServerTest, ReadPositionInvertsWritePosition) {
  PacketBuffer buffer{};
  WritePosition(buffer, 5, 150, 170);
  std::int32_t x = 0;
  std::int32_t y = 0;
  ReadPosition(buffer, 5, x, y);
  EXPECT_EQ(x, 150);
  EXPECT_EQ(y, 170);
  WriteByte(buffer, 7, ReadByte(buffer, 7) | 0x0F);  // low bits of the last byte are ignored
  ReadPosition(buffer, 5, x, y);
  EXPECT_EQ(y, 170);
}

TEST_F(MapServerTest, WalkMovesFromTheStoredCellToTheDestination) {
  Client(0).PosX = 150;
  Client(0).PosY = 170;
  // To (100, 120).
  EXPECT_EQ(Walk(0, {0x19, 0x07, 0x80}),
            Concat({Le16(0x0087), Le32(TestHost::kTick), {0x25, 0x8A, 0xA1, 0x90, 0x78}, {0}}));
  EXPECT_EQ(Client(0).PosX, 100);
  EXPECT_EQ(Client(0).PosY, 120);
  // Back to (150, 170), starting from (100, 120).
  EXPECT_EQ(Walk(0, {0x25, 0x8A, 0xA0}),
            Concat({Le16(0x0087), Le32(TestHost::kTick), {0x19, 0x07, 0x82, 0x58, 0xAA}, {0}}));
  ExpectNothingMore();
}

TEST_F(MapServerTest, WarpDoesNotMoveTheStoredCell) {
  Client(0).PosX = 150;
  Client(0).PosY = 170;
  host.Position[0] = "300";
  host.Position[1] = "400";
  Warp(host);
  EXPECT_EQ(Received(0), MapChange("prontera.gat", 300, 400));
  EXPECT_EQ(Walk(0, {0x19, 0x07, 0x80}),
            Concat({Le16(0x0087), Le32(TestHost::kTick), {0x25, 0x8A, 0xA1, 0x90, 0x78}, {0}}));
}

TEST_F(MapServerTest, RestartAnswersTypeOneOnly) {
  HandleRestart(host, Feed(0, {0xB2, 0x00, 0x00}), version, scratch);
  EXPECT_TRUE(Received(0).empty());
  HandleRestart(host, Feed(0, {0xB2, 0x00, 0x01}), version, scratch);
  EXPECT_EQ(Received(0), (Bytes{0xB3, 0x00, 0x01}));
  EXPECT_EQ(Client(0).State, kStateMap);
}

TEST_F(MapServerTest, RestartReadsItsTypeFromTheFirstPositionSlot) {
  // Slot 2 holding a leftover offset must not be what is read.
  VersionEntry leftover = version;
  leftover.restart.Positions = {2, 6, 5};
  HandleRestart(host, Feed(0, {0xB2, 0x00, 0x01, 0x00, 0x00, 0x00}), leftover, scratch);
  EXPECT_EQ(Received(0), (Bytes{0xB3, 0x00, 0x01}));
}

// --- Chat ---------------------------------------------------------------------

TEST_F(MapServerTest, ChatIsSeenByEveryoneInTheMapOnly) {
  ConnectionRecord& sender = Feed(0, Concat({Le16(0x008C), Le16(9), FromText("hello")}));
  sender.CharacterId = 150001;
  HandleChat(host, sender, version, scratch);
  EXPECT_EQ(Received(0), ChatLine(150001, "hello"));
  EXPECT_EQ(Received(1), ChatLine(150001, "hello"));
  ExpectNothingMore();
}

TEST_F(MapServerTest, ChatLongerThanItsBytesIsCutToTheBytesReceived) {
  HandleChat(host, Feed(0, Concat({Le16(0x008C), Le16(20), FromText("hello")})), version, scratch);
  EXPECT_EQ(Received(1), ChatLine(0, "hello"));
}

TEST_F(MapServerTest, ChatWithNoTextSendsNothing) {
  // The length field counts the 4-byte head: 4 or less leaves no text.
  for (const std::uint16_t length : {0, 3, 4}) {
    PacketBuffer fresh{};
    HandleChat(host, Feed(0, Concat({Le16(0x008C), Le16(length), FromText("hello")})), version,
               fresh);
  }
  // A length field that arrived without any text.
  HandleChat(host, Feed(0, Concat({Le16(0x008C), Le16(5)})), version, scratch);
  ExpectNothingMore();
}

TEST_F(MapServerTest, ChatLongerThanTheBufferIsCutToFitTheReply) {
  Bytes request = Concat({Le16(0x008C), Le16(0x7FFF), Bytes(kBufferSize - 4, 'a')});
  HandleChat(host, Feed(0, request), version, scratch);
  const Bytes line = Received(0);
  ASSERT_EQ(line.size(), static_cast<std::size_t>(kBufferSize));
  EXPECT_EQ(Bytes(line.begin(), line.begin() + 8), Concat({Le16(0x008D), Le16(2048), Le32(0)}));
  EXPECT_EQ(line.back(), 'a');
}

// --- Force Map Reload -----------------------------------------------------------

TEST_F(MapServerTest, MapLoadedAfterForceReloadWarpsEveryoneInsteadOfArriving) {
  host.Map = "geffen.gat";
  ForceMapReload(host);
  ConnectionRecord& sender = Feed(0, Concat({Le16(0x007D), Le16(0x007E), Zeros(4)}));
  HandleMapLoaded(host, sender, scratch);

  EXPECT_FALSE(host.Reload);
  EXPECT_EQ(sender.RecvLength, 0);
  for (int client : {0, 1}) {
    EXPECT_EQ(Received(client),
              Concat({MapChange("prt_in.gat", 50, 60), MapChange("geffen.gat", 150, 170)}));
  }
  ExpectNothingMore();

  PacketBuffer fresh{};
  HandleMapLoaded(host, Feed(0, Le16(0x007D)), fresh);
  EXPECT_EQ(Received(0), kArrival);
  ExpectNothingMore();
}

// --- Through the poll timer -----------------------------------------------------

// Two clients already in the map over real sockets; a third enters.
class MapServerPollTest : public ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    for (int i = 0; i < 2; ++i) {
      Connect();
      Record(i).PacketVersion = 5;
      Record(i).State = kStateMap;
    }
  }
  void ExpectNothingMore() {
    for (int client : {0, 1, 2}) EXPECT_TRUE(NothingMore(client)) << client;
  }
};

TEST_F(MapServerPollTest, NewClientEntersTheMapAndChatsThroughThePollTimer) {
  const int client = Connect();
  const auto tick = [this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Tick();
  };
  Send(client, Concat({Le16(0x0072), Zeros(17)}));
  // 19 bytes may be the start of a longer login listed for 0x0072: the
  // version is told, and the login answered, on the tick that brings nothing.
  tick();
  EXPECT_TRUE(NothingMore(client));
  tick();
  EXPECT_EQ(Received(client, 4 + 11 + 46 + 76).size(), 137u);
  EXPECT_EQ(Record(client).PacketVersion, 5);
  EXPECT_EQ(Log().back(), "7F000001- Map: PacketVersion = 5");

  // Its length field counts the 4-byte head: the text still goes out whole.
  Send(client, Concat({Le16(0x008C), Le16(9), FromText("hello")}));
  tick();
  EXPECT_EQ(Received(client, 13), ChatLine(0, "hello"));
  EXPECT_EQ(Received(0, 13), ChatLine(0, "hello"));
  EXPECT_EQ(Received(1, 13), ChatLine(0, "hello"));
  EXPECT_EQ(Record(client).RecvLength, 0);
  ExpectNothingMore();
}

}  // namespace
}  // namespace quib::test
