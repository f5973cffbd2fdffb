// The edges of framing against the built server at the designed cadence
// (250 ms ticks, 500 ms before each accept), over loopback: whatever TCP
// does to a client's packets, the log tells what the client sent and the
// replies answer it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_support.h"

namespace quib::test {
namespace {

using std::chrono::milliseconds;

constexpr int kTickMs = 250;
constexpr int kAcceptMs = 500;

void Pause(int ms) { std::this_thread::sleep_for(milliseconds(ms)); }

// A chat line as the map sends it back, its text alone.
std::string LineText(const Bytes& line) {
  return line.size() < 8 ? std::string() : TextAt(line, 8, line.size() - 8);
}

struct Edge {
  const char* Name;
  // Plays the client's part; returns what went wrong with the replies, or "".
  std::function<std::string(std::int32_t port)> Play;
  std::vector<std::string> Lines;  // what the log says of it, in order
};

class EdgesTest : public RunningServerTest {
 protected:
  // The log lines that come within `waitMs` of the last.
  std::vector<std::string> Lines(int waitMs) {
    std::vector<std::string> lines;
    while (const auto line = server.ReadLine(waitMs)) lines.push_back(*line);
    return lines;
  }
};

TEST_F(EdgesTest, TheLogTellsWhatTheClientSentWhateverTcpDidToIt) {
  const Edge edges[] = {
      // 22 bytes are version 6; the first 19 alone would be version 5's whole
      // login. They come 0.6 tick apart: no tick between them is quiet.
      {"a version-6 login cut where version 5's ends",
       [](std::int32_t port) -> std::string {
         const int fd = ConnectClient(port);
         // Its bytes come once the server has accepted it, so that it reads
         // the first 19 on a tick of their own.
         Pause(kAcceptMs + kTickMs);
         const Bytes login = Concat({Le16(0x0072), Zeros(20)});
         SendBytes(fd, Bytes(login.begin(), login.begin() + 19));
         Pause(kTickMs * 6 / 10);
         SendBytes(fd, Bytes(login.begin() + 19, login.end()));
         const bool greeted =
             ReadExactly(fd, kMapGreetingSize, kRoadWaitMs).size() == kMapGreetingSize;
         CloseClientSocket(fd);
         return greeted ? "" : "no greeting";
       },
       {"7F000001- Map: PacketVersion = 6"}},
      // Each accept holds the thread for 500 ms; the tick that follows one
      // closely finds no byte, yet is no quiet tick.
      {"a chat dripped while others connect",
       [](std::int32_t port) -> std::string {
         const int fd = EnterMap(port);
         if (fd < 0) return "not in the map";
         // A byte every 150 ms, less than a tick, while others connect from
         // a thread of their own, one every 300 ms: each accept holds the
         // server for 500 ms.
         std::vector<int> others;
         std::thread connecting([&others, port] {
           for (int i = 0; i < 4; ++i) {
             others.push_back(ConnectClient(port));
             Pause(300);
           }
         });
         for (const std::uint8_t byte : Chat("dripped")) {
           SendBytes(fd, Bytes{byte});
           Pause(150);
         }
         const Bytes line = ReadExactly(fd, 8 + 7, kRoadWaitMs);
         connecting.join();
         for (const int other : others) CloseClientSocket(other);
         const bool whole = LineText(line) == "dripped" && ReadAvailable(fd, 600).empty();
         CloseClientSocket(fd);
         return whole ? "" : "the line was cut: " + LineText(line);
       },
       {"7F000001- Map: PacketVersion = 5"}},
      // What a select cut after its id did not bring reads as zero, not as
      // the account id of the connect before it.
      {"a select cut after its id",
       [](std::int32_t port) -> std::string {
         const int fd = ConnectClient(port);
         SendBytes(fd, CharConnect());
         ReadExactly(fd, 4 + 978, kRoadWaitMs);
         SendBytes(fd, Bytes{0x66, 0x00});
         const Bytes select = ReadExactly(fd, 28, kRoadWaitMs);
         CloseClientSocket(fd);
         return select.size() == 28 && select[2] == 0x38 && select[3] == 0x4A
                    ? ""
                    : "not character 19000";
       },
       {"CharactersReq - 7F000001", "Short Packet (0x66) - 7F000001: 2 of 3 bytes",
        "Character Select: 0 - 7F000001"}},
      // A chat longer than the buffer waits for the buffer to fill, however
      // its bytes are cut, and its text is cut to what a line can carry.
      {"a chat of 3000 bytes whose rest comes 0.4 tick later",
       [](std::int32_t port) -> std::string {
         const int fd = EnterMap(port);
         if (fd < 0) return "not in the map";
         const Bytes chat = Chat(std::string(2996, 'c'));
         SendBytes(fd, Bytes(chat.begin(), chat.begin() + 1000));
         Pause(kTickMs * 4 / 10);
         SendBytes(fd, Bytes(chat.begin() + 1000, chat.end()));
         const Bytes line = ReadExactly(fd, 2048, kRoadWaitMs);
         // The rest past the buffer is skipped, never read as packets.
         SendBytes(fd, Walk());
         const bool walked = ReadExactly(fd, kWalkReplySize, kRoadWaitMs).size() == kWalkReplySize;
         CloseClientSocket(fd);
         if (LineText(line) != std::string(2040, 'c')) return "not 2040 characters";
         return walked ? "" : "no walk reply after it";
       },
       {"7F000001- Map: PacketVersion = 5", "Chat Text Cut (0x8C) - 7F000001: 2040 of 2996 bytes"}},
  };
  for (const Edge& edge : edges) {
    EXPECT_EQ(edge.Play(port), "") << edge.Name;
    EXPECT_EQ(Lines(2 * kTickMs), edge.Lines) << edge.Name;
  }
  EXPECT_EQ(server.Stop(), 0) << server.ErrorText();
}

}  // namespace
}  // namespace quib::test
