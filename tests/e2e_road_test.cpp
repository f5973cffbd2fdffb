// The whole road against the built program over loopback: login, character
// list, select, map login at packet version 5, map loaded, a walk, a chat seen
// by a second client, an emotion and a warp typed at the console.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/server_process.h"
#include "tests/test_support.h"

namespace quib::test {
namespace {

class EndToEndRoad : public RunningServerTest {
 protected:
  // The next log line, which must be `expected`.
  void ExpectLogLine(const std::string& expected) {
    const auto line = server.ReadLine(3000);
    ASSERT_TRUE(line.has_value()) << "no log line, expected: " << expected;
    EXPECT_EQ(*line, expected);
  }

  // Connects and sends the map login; checks the greeting the map sends back.
  int EnterMap() {
    Bytes reply;
    const int fd = test::EnterMap(port, &reply, 0, 2000);
    EXPECT_GE(fd, 0) << "no whole greeting";
    if (fd < 0) return fd;
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4), (Bytes{0x80, 0x84, 0x1E, 0x00}));
    EXPECT_EQ(U16(reply, 4), 0x0073);
    EXPECT_EQ(Bytes(reply.begin() + 10, reply.begin() + 15), (Bytes{0x25, 0x8A, 0xA0, 5, 5}));
    EXPECT_EQ(U16(reply, 15), 0x008D);
    EXPECT_EQ(TextAt(reply, 23, 38), "System : Welcome to the Quib-Server!!!");
    return fd;
  }
};

TEST_F(EndToEndRoad, LoginCharacterSelectMapWalkChatEmotionWarp) {
  // Login: one server at the listening address, then the connection closes.
  int a = ConnectClient(port);
  ASSERT_GE(a, 0);
  SendAll(a, LoginRequest());
  const Bytes servers = ReadExactly(a, 79);
  ASSERT_EQ(servers.size(), 79u);
  EXPECT_EQ(U16(servers, 0), 0x0069);
  EXPECT_EQ(U16(servers, 2), 79);
  EXPECT_EQ(Bytes(servers.begin() + 47, servers.begin() + 51), (Bytes{127, 0, 0, 1}));
  EXPECT_EQ(U16(servers, 51), port);
  EXPECT_EQ(TextAt(servers, 53, 17), std::string("Quib-Test Server\0", 17));
  EXPECT_TRUE(PeerClosed(a));
  ::close(a);
  ExpectLogLine("CharSvrReq - 7F000001");

  // Character server: the account echo, nine characters, then the select.
  a = ConnectClient(port);
  ASSERT_GE(a, 0);
  SendAll(a, CharConnect());
  const Bytes list = ReadExactly(a, 4 + 978);
  ASSERT_EQ(list.size(), 4u + 978u);
  EXPECT_EQ(Bytes(list.begin(), list.begin() + 4), (Bytes{0x80, 0x84, 0x1E, 0x00}));
  EXPECT_EQ(U16(list, 4), 0x006B);
  EXPECT_EQ(U16(list, 6), 978);
  EXPECT_EQ(TextAt(list, 4 + 24 + 74, 7), std::string("Slot 1\0", 7));
  EXPECT_EQ(TextAt(list, 4 + 24 + 8 * 106 + 74, 6), "Slot 9");
  ExpectLogLine("CharactersReq - 7F000001");

  SendAll(a, CharSelect(0));
  const Bytes select = ReadExactly(a, 28);
  ASSERT_EQ(select.size(), 28u);
  EXPECT_EQ(U16(select, 0), 0x0071);
  EXPECT_EQ(Bytes(select.begin() + 2, select.begin() + 6), Le32(19000));
  EXPECT_EQ(TextAt(select, 6, 16), std::string("prontera.gat\0\0\0\0", 16));
  EXPECT_EQ(Bytes(select.begin() + 22, select.begin() + 26), (Bytes{127, 0, 0, 1}));
  EXPECT_EQ(U16(select, 26), port);
  EXPECT_TRUE(PeerClosed(a));
  ::close(a);
  ExpectLogLine("Character Select: 0 - 7F000001");

  // Map server, packet version 5.
  a = EnterMap();
  ExpectLogLine("7F000001- Map: PacketVersion = 5");

  SendAll(a, Le16(0x007D));  // map loaded
  const Bytes loaded = ReadExactly(a, 448);
  ASSERT_EQ(loaded.size(), 448u);
  for (int i = 0; i < 55; ++i) {
    EXPECT_EQ(Bytes(loaded.begin() + 8 * i, loaded.begin() + 8 * i + 8),
              (Bytes{0xB0, 0x00, 0x01, 0x00, 99, 0, 0, 0}));
  }
  EXPECT_EQ(Bytes(loaded.begin() + 440, loaded.end()),
            (Bytes{0xA3, 0x00, 0x04, 0x00, 0xA4, 0x00, 0x04, 0x00}));

  SendAll(a, Bytes{0x85, 0x00, 0x19, 0x07, 0x80});  // walk to (100, 120)
  const Bytes walk = ReadExactly(a, 12);
  ASSERT_EQ(walk.size(), 12u);
  EXPECT_EQ(U16(walk, 0), 0x0087);
  EXPECT_EQ(Bytes(walk.begin() + 6, walk.end()), (Bytes{0x25, 0x8A, 0xA1, 0x90, 0x78, 0x00}));

  const int b = EnterMap();
  ExpectLogLine("7F000001- Map: PacketVersion = 5");

  // A chat line from the first client reaches both.
  const std::string line = "a : hello";
  SendAll(a, Chat(line));
  for (int fd : {a, b}) {
    const Bytes chat = ReadExactly(fd, 8 + line.size());
    ASSERT_EQ(chat.size(), 8 + line.size());
    EXPECT_EQ(U16(chat, 0), 0x008D);
    EXPECT_EQ(U16(chat, 2), 8 + line.size());
    EXPECT_EQ(TextAt(chat, 8, line.size()), line);
  }

  // An emotion from the second client reaches both.
  SendAll(b, Bytes{0xBF, 0x00, 0x03});
  for (int fd : {a, b}) {
    const Bytes emotion = ReadExactly(fd, 7);
    ASSERT_EQ(emotion.size(), 7u);
    EXPECT_EQ(U16(emotion, 0), 0x00C0);
    EXPECT_EQ(emotion[6], 3);
  }

  // The console moves everyone in the map.
  ASSERT_TRUE(server.WriteLine("map prt_in.gat"));
  ASSERT_TRUE(server.WriteLine("pos 60 70"));
  ASSERT_TRUE(server.WriteLine("warp"));
  for (int fd : {a, b}) {
    const Bytes change = ReadExactly(fd, 26);
    ASSERT_EQ(change.size(), 26u);
    EXPECT_EQ(U16(change, 0), 0x0091);
    EXPECT_EQ(TextAt(change, 2, 16), std::string("prt_in.gat\0\0\0\0\0\0", 16));
    EXPECT_EQ(U16(change, 18), 60);
    EXPECT_EQ(U16(change, 20), 70);
  }

  ::close(a);
  ::close(b);
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.PendingOutput(), "") << "unexpected log lines";
}

}  // namespace
}  // namespace quib::test
