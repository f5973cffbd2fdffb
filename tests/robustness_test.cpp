// The built server under the loads that used to break it: many clients on the
// road at once, a client that stops reading, a packet longer than the buffer,
// a log nobody reads and closed standard streams. The server runs at the fast
// cadence (--accept-delay 0 --tick 10) so that each test takes seconds.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/server_process.h"
#include "tests/test_support.h"

namespace quib::test {
namespace {

const Bytes kWalk = Walk();

class FastServerTest : public ::testing::Test {
 protected:
  void StartServer(std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), kFastCadence.begin(), kFastCadence.end());
    port = server.StartConsole(extra);
    ASSERT_GT(port, 0) << server.ErrorText();
  }
  void TearDown() override {
    if (port > 0) {
      EXPECT_EQ(server.Stop(), 0) << server.ErrorText();
    }
  }

  // A client in the map with its greeting read; -1 on failure.
  int EnterMap(int receiveBuffer = 0) { return test::EnterMap(port, nullptr, receiveBuffer); }

  ServerProcess server;
  std::int32_t port = -1;
};

// A client that sends its login with more packets behind it and goes
// without waiting: nothing it left may reach anyone else.
void LeaveInAHurry(std::int32_t port) {
  const int fd = ConnectClient(port);
  if (fd < 0) return;
  Bytes burst = LoginRequest();
  for (int i = 0; i < 20; ++i) burst = Concat({burst, Le16(0x01C0)});
  SendAll(fd, Concat({burst, CharSelect(7)}));
  ::close(fd);
}

TEST_F(FastServerTest, ManyClientsOnTheRoadAtOnceAllReachTheMap) {
  StartServer();
  for (const int clients : {10, 50}) {
    std::vector<std::string> failures(clients);
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
      threads.emplace_back([&, i] {
        std::this_thread::sleep_for(std::chrono::milliseconds(3 * i));
        if (i % 5 == 0) LeaveInAHurry(port);
        failures[i] = WalkTheRoad(port, static_cast<std::uint8_t>(i % 9));
      });
    }
    for (auto& thread : threads) thread.join();
    for (int i = 0; i < clients; ++i) {
      EXPECT_EQ(failures[i], "") << "client " << i << " of " << clients;
    }
  }
}

// --- A client that stops reading --------------------------------------------

constexpr int kChatters = 10;
constexpr int kLinesEach = 200;
constexpr std::size_t kTextSize = 2040;
constexpr std::size_t kLineSize = 8 + kTextSize;

std::string LineText(int chatter, int number) {
  std::string text = std::to_string(chatter) + ":" + std::to_string(number) + ":";
  text.resize(kTextSize, 'x');
  return text;
}

// Checks a stream of chat lines: whole lines only, each chatter's lines in
// order from its first with none missing. Returns the number of lines.
std::size_t CheckLines(const Bytes& stream, const std::string& who) {
  EXPECT_EQ(stream.size() % kLineSize, 0u) << who << " got part of a line";
  std::map<int, int> next;
  const std::size_t lines = stream.size() / kLineSize;
  for (std::size_t i = 0; i < lines; ++i) {
    const std::size_t at = i * kLineSize;
    EXPECT_EQ(U16(stream, at), 0x008D) << who << " line " << i;
    const std::string text = TextAt(stream, at + 8, 16);
    const int chatter = std::stoi(text);
    const int number = std::stoi(text.substr(text.find(':') + 1));
    if (number != next[chatter]) {
      ADD_FAILURE() << who << ": line " << number << " of chatter " << chatter << " came where "
                    << next[chatter] << " was due";
      return lines;
    }
    ++next[chatter];
  }
  return lines;
}

TEST_F(FastServerTest, AClientThatStopsReadingGetsWholeLinesOrIsLetGo) {
  StartServer();
  const int slow = EnterMap(4096);
  ASSERT_GE(slow, 0);
  std::vector<int> chatters;
  for (int c = 0; c < kChatters; ++c) {
    chatters.push_back(EnterMap());
    ASSERT_GE(chatters.back(), 0);
  }

  // Every chatter says a line, as people do, once it has seen its last one,
  // and reads everyone's; the slow one reads nothing meanwhile.
  const std::size_t total = std::size_t{kChatters} * kLinesEach;
  std::vector<Bytes> heard(kChatters);
  std::vector<std::thread> threads;
  for (int c = 0; c < kChatters; ++c) {
    threads.emplace_back([&, c] {
      Bytes& got = heard[c];
      std::size_t seen = 0;  // whole lines looked at
      for (int n = 0; n < kLinesEach; ++n) {
        SendAll(chatters[c], Chat(LineText(c, n)));
        for (bool mine = false; !mine;) {
          const Bytes more = ReadAvailable(chatters[c], kRoadWaitMs);
          if (more.empty()) return;
          got.insert(got.end(), more.begin(), more.end());
          for (; (seen + 1) * kLineSize <= got.size(); ++seen) {
            mine = mine || TextAt(got, seen * kLineSize + 8, 16) == LineText(c, n).substr(0, 16);
          }
        }
      }
      const Bytes rest = ReadExactly(chatters[c], total * kLineSize - got.size(), kRoadWaitMs);
      got.insert(got.end(), rest.begin(), rest.end());
    });
  }
  for (auto& thread : threads) thread.join();
  for (int c = 0; c < kChatters; ++c) {
    EXPECT_EQ(CheckLines(heard[c], "chatter " + std::to_string(c)), total);
    ::close(chatters[c]);
  }

  // Reading again: every line, or whole lines and then the end.
  const Bytes got = ReadExactly(slow, total * kLineSize, kRoadWaitMs);
  const std::size_t lines = CheckLines(got, "the slow reader");
  if (lines < total) {
    EXPECT_TRUE(PeerClosed(slow, kRoadWaitMs)) << "lines are missing yet the connection is open";
  }
  ::close(slow);
}

// --- A packet longer than the buffer ----------------------------------------

TEST_F(FastServerTest, TheRestOfAPacketLongerThanTheBufferIsNotReadAsPackets) {
  StartServer();
  // The length field counts the whole chat, its 4-byte head included.
  for (const std::uint16_t length : {std::uint16_t{2049}, std::uint16_t{0xFFFF}}) {
    const int fd = EnterMap();
    ASSERT_GE(fd, 0);
    // Its text ends as a character select would begin.
    Bytes text(length - 4u, 'a');
    text[text.size() - 3] = 0x66;
    text[text.size() - 2] = 0x00;
    text[text.size() - 1] = 0x01;
    SendAll(fd, Concat({Le16(0x008C), Le16(length), text, kWalk}));

    // The chat line comes back (cut to what the buffer held), then the walk.
    bool walked = false;
    Bytes replies;
    for (int tries = 0; tries < 50 && !walked; ++tries) {
      const Bytes more = ReadAvailable(fd, 200);
      replies.insert(replies.end(), more.begin(), more.end());
      std::size_t at = 0;
      while (at + 4 <= replies.size()) {
        const std::uint16_t id = U16(replies, at);
        ASSERT_NE(id, 0x0071) << "the rest of the chat ran a character select";
        const std::size_t size = id == 0x008D ? U16(replies, at + 2) : 12;
        if (id == 0x0087) walked = true;
        at += size;
      }
    }
    EXPECT_TRUE(walked) << "length " << length;
    EXPECT_FALSE(PeerClosed(fd, 50));
    ::close(fd);
  }
}

// --- The server's own output -------------------------------------------------

TEST_F(FastServerTest, AStalledLogReaderDoesNotStopTheServer) {
  server.OutputPipeSize = 4096;
  server.PauseOutput(true);
  StartServer();
  const int inMap = EnterMap();
  ASSERT_GE(inMap, 0);
  // Unknown packets log a line each, far more than the pipe holds.
  const int noisy = ConnectClient(port);
  ASSERT_GE(noisy, 0);
  for (int i = 0; i < 300; ++i) {
    SendAll(noisy, Le16(0x4321));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }

  SendAll(inMap, kWalk);
  EXPECT_EQ(ReadExactly(inMap, 12, 2000).size(), 12u) << "the server stopped with its log";
  ASSERT_TRUE(server.WriteLine("show"));
  EXPECT_TRUE(server.WaitForError("tick: 10 ms", 2000)) << "commands stopped with the log";

  server.PauseOutput(false);
  // The log goes on where it stopped: the map login, the noisy client's
  // first bytes (no packet version), then its unknown packets.
  EXPECT_EQ(server.ReadLine(2000), "7F000001- Map: PacketVersion = 5");
  const auto detection = server.ReadLine(2000);
  ASSERT_TRUE(detection.has_value());
  EXPECT_NE(detection->find("Unable To Determine Packet Version"), std::string::npos);
  EXPECT_EQ(server.ReadLine(2000), "Unknown Packet (0x4321) - 7F000001");
  ::close(noisy);
  ::close(inMap);
}

TEST_F(FastServerTest, ClosedStandardStreamsDoNotStopTheServer) {
  server.ClosedStreams = {0, 1};
  StartServer();
  const int noisy = ConnectClient(port);
  ASSERT_GE(noisy, 0);
  SendAll(noisy, Le16(0x4321));  // a log line, to where standard output was
  const int fd = EnterMap();
  EXPECT_GE(fd, 0);
  EXPECT_FALSE(server.Wait(300).has_value()) << "the server ended";
  ::close(noisy);
  if (fd >= 0) ::close(fd);
}

// --- The listening address ---------------------------------------------------

TEST_F(FastServerTest, AnotherLoopbackAddressIsListenedOnAndAdvertised) {
  StartServer({"--address", "127.0.0.2"});
  EXPECT_NE(server.ErrorText().find("listening on 127.0.0.2:"), std::string::npos);
  EXPECT_EQ(server.ErrorText().find("Warning"), std::string::npos) << "a loopback address";

  const auto connectTo = [&] {
    const int fd = ConnectClient(port, 0x7F000002);
    EXPECT_GE(fd, 0);
    return fd;
  };
  int fd = connectTo();
  SendAll(fd, LoginRequest());
  const Bytes servers = ReadExactly(fd, 79, kRoadWaitMs);
  ::close(fd);
  ASSERT_EQ(servers.size(), 79u);
  EXPECT_EQ(Bytes(servers.begin() + 47, servers.begin() + 51), (Bytes{127, 0, 0, 2}));

  fd = connectTo();
  SendAll(fd, Concat({CharConnect(), CharSelect(0)}));
  const Bytes replies = ReadExactly(fd, 4 + 978 + 28, kRoadWaitMs);
  ::close(fd);
  ASSERT_EQ(replies.size(), 4u + 978u + 28u);
  EXPECT_EQ(Bytes(replies.end() - 6, replies.end() - 2), (Bytes{127, 0, 0, 2}));
  EXPECT_EQ(ConnectClient(port), -1) << "127.0.0.1 must not be listened on";
}

}  // namespace
}  // namespace quib::test
