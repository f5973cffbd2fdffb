// Faulty clients against the built program over loopback: a reset in the
// middle of a packet, a half-close, one byte at a time, a burst larger than
// the receive buffer, a client that never sends, and many clients that come
// and go. After each, a client that stayed in the map has lost nothing and a
// fresh client still completes the whole road.
//
// The server sleeps 500 ms before each accept and handles one packet per
// connection per 250 ms tick, so every connection here costs about a second.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/server_process.h"
#include "tests/test_support.h"

namespace quib::test {
namespace {

// The length of a chat line as the map sends it back.
std::size_t ChatReplySize(const std::string& text) { return 8 + text.size(); }

// Closes with a reset instead of an orderly close.
void Reset(int fd) {
  const linger abort{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(fd);
}

class FaultTest : public RunningServerTest {
 protected:
  void SetUp() override {
    RunningServerTest::SetUp();
    if (HasFatalFailure()) return;
    stayer = EnterMap();
    ASSERT_GE(stayer, 0);
  }

  void TearDown() override {
    if (stayer >= 0) ::close(stayer);
    // A server that crashed on the way ends with a signal, not 0.
    EXPECT_EQ(server.Stop(), 0) << server.ErrorText();
  }

  // A client in the map at packet version 5, its greeting read; -1 on failure.
  int EnterMap() {
    Bytes greeting;
    const int fd = test::EnterMap(port, &greeting, 0, 3000);
    EXPECT_GE(fd, 0) << "no whole greeting";
    if (fd >= 0) {
      EXPECT_EQ(U16(greeting, 4), 0x0073);
    }
    return fd;
  }

  // The client that stayed in the map still gets an answer to each packet,
  // and nothing else is waiting for it.
  void ExpectStayerServed() {
    SendAll(stayer, Walk());
    const Bytes reply = ReadExactly(stayer, kWalkReplySize, 3000);
    ASSERT_EQ(reply.size(), kWalkReplySize);
    EXPECT_EQ(U16(reply, 0), 0x0087);
    EXPECT_TRUE(ReadAvailable(stayer, 50).empty());
  }

  // Login, character list, select and map login, each with its full reply.
  void ExpectRoadCompletes() { EXPECT_EQ(WalkTheRoad(port), ""); }

  int stayer = -1;
};

TEST_F(FaultTest, ResetInTheMiddleOfAPacketLeavesTheOthersServed) {
  // One before its first packet is whole, one in the map in the middle of a walk.
  const int fresh = ConnectClient(port);
  ASSERT_GE(fresh, 0);
  const Bytes login = MapLogin();
  SendAll(fresh, Bytes(login.begin(), login.begin() + 10));
  const int inMap = EnterMap();
  ASSERT_GE(inMap, 0);
  SendAll(inMap, Bytes{0x85, 0x00});
  Reset(fresh);
  Reset(inMap);

  ExpectStayerServed();
  ExpectRoadCompletes();
}

TEST_F(FaultTest, HalfClosedClientStillGetsItsReplies) {
  const int fd = ConnectClient(port);
  ASSERT_GE(fd, 0);
  SendAll(fd, MapLogin());
  ::shutdown(fd, SHUT_WR);
  const Bytes greeting = ReadExactly(fd, kMapGreetingSize, 3000);
  EXPECT_EQ(greeting.size(), kMapGreetingSize);
  // Its end of file closes the connection on a later tick.
  EXPECT_TRUE(PeerClosed(fd, 2000));
  ::close(fd);

  ExpectStayerServed();
  ExpectRoadCompletes();
}

TEST_F(FaultTest, AWalkDrippedFasterThanTheTickIsAnsweredWhole) {
  // A byte every 100 ms: no tick goes by without one, so the walk waits at
  // the head of the buffer until it is whole, and is answered once, from the
  // cell the stayer entered at to the walk's (100, 120). Handled before it
  // was whole, its bytes would have read as a walk to (0, 0) and packets of
  // their own.
  for (std::uint8_t byte : Walk()) {
    ASSERT_EQ(::send(stayer, &byte, 1, MSG_NOSIGNAL), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const Bytes reply = ReadExactly(stayer, kWalkReplySize, 3000);
  ASSERT_EQ(reply.size(), kWalkReplySize);
  EXPECT_EQ(U16(reply, 0), 0x0087);
  EXPECT_EQ(Bytes(reply.begin() + 6, reply.begin() + 11), (Bytes{0x25, 0x8A, 0xA1, 0x90, 0x78}));
  EXPECT_TRUE(ReadAvailable(stayer, 600).empty());

  ExpectStayerServed();
  ExpectRoadCompletes();
}

TEST_F(FaultTest, BurstLargerThanTheBufferIsHandledOverTicksWithNothingLost) {
  const int fd = EnterMap();
  ASSERT_GE(fd, 0);
  // Three chat lines of 1000 bytes each in one send: the first receive takes
  // the 2048 bytes that fit, later ones the rest as packets are consumed.
  const std::string lines[] = {std::string(996, 'a'), std::string(996, 'b'), std::string(996, 'c')};
  SendAll(fd, Concat({Chat(lines[0]), Chat(lines[1]), Chat(lines[2])}));
  for (int client : {fd, stayer}) {
    for (const std::string& line : lines) {
      const Bytes reply = ReadExactly(client, ChatReplySize(line), 3000);
      ASSERT_EQ(reply.size(), ChatReplySize(line));
      EXPECT_EQ(U16(reply, 0), 0x008D);
      EXPECT_EQ(std::string(reply.begin() + 8, reply.end()), line);
    }
  }
  ::close(fd);

  ExpectStayerServed();
  ExpectRoadCompletes();
}

TEST_F(FaultTest, ClientThatNeverSendsHoldsNothingUp) {
  const int idle = ConnectClient(port);
  ASSERT_GE(idle, 0);
  ExpectRoadCompletes();
  ExpectStayerServed();
  EXPECT_TRUE(ReadAvailable(idle, 50).empty());
  ::close(idle);
}

TEST_F(FaultTest, ManyClientsComingAndGoingLeaveTheOthersServed) {
  // Half send a login request and leave before its reply, half leave without
  // a word; every tenth resets instead of closing.
  constexpr int kClients = 50;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (int i = 0; i < kClients && std::chrono::steady_clock::now() < deadline; ++i) {
    const int fd = ConnectClient(port);
    ASSERT_GE(fd, 0) << "client " << i;
    if (i % 2 == 0) SendAll(fd, LoginRequest());
    if (i % 10 == 9) {
      Reset(fd);
    } else {
      ::close(fd);
    }
  }
  ASSERT_LT(std::chrono::steady_clock::now(), deadline);

  ExpectStayerServed();
  ExpectRoadCompletes();
  ExpectStayerServed();
}

}  // namespace
}  // namespace quib::test
