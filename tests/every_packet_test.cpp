// "Show Every Packet" against the built server: the whole road, both ways, in
// the log, each packet once and in order with the designed lines, named and
// read as the dissector reads them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace quib::test {
namespace {

TEST(EveryPacketTest, TheRoadShowsBothWaysInTheLog) {
  ServerProcess server;
  std::vector<std::string> extra = kFastCadence;
  extra.push_back("--log-packets");
  const std::int32_t port = server.StartConsole(extra);
  ASSERT_GT(port, 0) << server.ErrorText();
  ASSERT_TRUE(server.WriteLine("hide on"));

  ASSERT_EQ(WalkTheRoad(port, 1), "");
  // An unknown packet: hidden as designed, but not its packet line.
  const int fd = EnterMap(port);
  ASSERT_GE(fd, 0);
  SendBytes(fd, Concat({Le16(0x1234), Zeros(2)}));
  ReadAvailable(fd, 200);
  CloseClientSocket(fd);

  const std::string peer = " - 7F000001";
  const std::vector<std::string> greeting = {
      "Recv 0x0072 Map login: packet version 5" + peer,
      "Send Account echo: 2000000" + peer,
      "Send 0x0073 Map login reply at (150, 170)" + peer,
      "Send 0x008D Chat line: System : Welcome to the Quib-Server!!!" + peer,
      "Send 0x008D Chat line: System : Note, This is not intended to be a fully functional "
      "server." +
          peer,
      "7F000001- Map: PacketVersion = 5"};
  std::vector<std::string> expected = {
      "Recv 0x0064 Login request" + peer,
      "Send 0x0069 Server list: Quib-Test Server 127.0.0.1:" + std::to_string(port) + ", 1 users" +
          peer,
      "CharSvrReq - 7F000001",
      "Recv 0x0065 Character connect: account 2000000" + peer,
      "Send Account echo: 2000000" + peer,
      "Send 0x006B Character list: 9 characters" + peer,
      "CharactersReq - 7F000001",
      "Recv 0x0066 Character select: slot 1" + peer,
      "Send 0x0071 Map server: prontera.gat at 127.0.0.1:" + std::to_string(port) +
          ", character 19001" + peer,
      "Character Select: 1 - 7F000001"};
  expected.insert(expected.end(), greeting.begin(), greeting.end());
  expected.push_back("Recv 0x0085 Walk to (100, 120)" + peer);
  expected.push_back("Send 0x0087 Walk reply from (150, 170) to (100, 120)" + peer);
  expected.insert(expected.end(), greeting.begin(), greeting.end());
  expected.push_back("Recv Unknown packet 0x1234" + peer);

  std::vector<std::string> lines;
  while (lines.size() < expected.size()) {
    const auto line = server.ReadLine(3000);
    if (!line) break;
    lines.push_back(*line);
  }
  EXPECT_EQ(lines, expected);
  // The packet lines keep their bytes, a run its first packet's; the newest
  // (the unknown packet, whose designed line is hidden) comes last.
  ASSERT_TRUE(server.WriteLine("bytes 2"));
  EXPECT_TRUE(server.WaitForError("] Send 0x008D Chat line: System : Note, This is not intended"));
  EXPECT_TRUE(
      server.WaitForError("] Recv Unknown packet 0x1234 - 7F000001 (4 bytes)\n"
                          "0000  34 12 00 00 "));
  EXPECT_EQ(server.Stop(), 0) << server.ErrorText();
}

}  // namespace
}  // namespace quib::test
