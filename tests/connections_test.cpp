#include "app/connections.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "app/main_window.h"
#include "tests/test_support.h"

namespace quib {
namespace {

using test::Bytes;
using test::Concat;
using test::Le16;
using test::Zeros;

// An id that no case of the handler knows: it is only ever buffered, or
// dropped whole by the unknown-packet branch.
constexpr std::uint16_t kStrayId = 0x7FFE;
// A 6-byte packet the handler takes and does nothing with.
const Bytes kIgnored = Concat({Le16(0x0187), Zeros(4)});

// True once the server side of a connection has something to read (data or
// the client's close), so that a tick is sure to see it.
bool ServerReadable(const ConnectionRecord& record, int waitMs = 1000) {
  return test::WaitReadable(record.Socket, waitMs);
}

// Bytes waiting on the server side of a connection, not yet received.
std::int64_t Unreceived(const ConnectionRecord& record) {
  ServerReadable(record, 200);
  return test::Peek(record.Socket);
}

class ConnectionsTest : public test::ServerFixture {
 protected:
  // Sends and waits until the server side can read it.
  void Deliver(int client, const Bytes& bytes) {
    Send(client, bytes);
    ASSERT_TRUE(ServerReadable(Record(client)));
  }

  std::vector<SocketHandle> TableSockets() const {
    std::vector<SocketHandle> sockets;
    for (const auto& record : form.ConnectionTable) sockets.push_back(record.Socket);
    return sockets;
  }
};

// --- Accept -------------------------------------------------------------------

TEST_F(ConnectionsTest, AcceptAddsZeroedRecordsInOrder) {
  const int first = Connect();
  const int second = Connect();
  ASSERT_EQ(form.ConnectionCount(), 2);
  EXPECT_EQ(TableSockets(),
            (std::vector<SocketHandle>{serverSockets[first], serverSockets[second]}));
  const ConnectionRecord& record = form.ConnectionTable[1];
  EXPECT_EQ(EndpointOf(record.PeerAddress).Address, kLoopbackAddress);
  EXPECT_EQ(record.RecvLength, 0);
  EXPECT_EQ(record.PacketVersion, 0);
  EXPECT_EQ(record.State, kStateNone);
  EXPECT_EQ(record.FirstPacketId, 0);
  EXPECT_EQ(record.RedetectVersion, 0);
  EXPECT_EQ(record.RecvBuffer, PacketBuffer{});
}

TEST_F(ConnectionsTest, AcceptWithNobodyWaitingAddsNothing) {
  form.AcceptPending();
  EXPECT_EQ(form.ConnectionCount(), 0);
}

TEST_F(ConnectionsTest, QuietClientKeepsItsRecordUntouched) {
  Connect();
  Tick();
  Tick();
  ASSERT_EQ(form.ConnectionCount(), 1);
  EXPECT_EQ(form.ConnectionTable[0].RecvLength, 0);
  EXPECT_EQ(form.ConnectionTable[0].FirstPacketId, 0);
}

// --- Removal ----------------------------------------------------------------

TEST_F(ConnectionsTest, ClosingClientIsRemovedAndTheOthersKeepTheirOrder) {
  const int a = Connect();
  const int b = Connect();
  const int c = Connect();
  const SocketHandle closed = serverSockets[b];
  CloseClient(b);
  ASSERT_TRUE(ServerReadable(form.ConnectionTable[1]));
  Tick();
  EXPECT_EQ(TableSockets(), (std::vector<SocketHandle>{serverSockets[a], serverSockets[c]}));
  // The server closed its end too: the number is free for the next accept.
  // (Windows hands handle numbers out again in an order of its own.)
  const int d = Connect();
#ifndef _WIN32
  EXPECT_EQ(serverSockets[d], closed);
#else
  EXPECT_NE(serverSockets[d], kInvalidSocket) << closed;
#endif
}

TEST_F(ConnectionsTest, PacketsSentBeforeAHalfCloseAreStillAnswered) {
  const int client = Connect();
  // Two delete requests in one go, then the client stops sending.
  const Bytes remove = Concat({Le16(0x0068), Zeros(44)});
  Deliver(client, Concat({remove, remove}));
  ASSERT_TRUE(test::StopSending(clients[client]));
  Tick();
  Tick();
  EXPECT_EQ(Received(client, 8), Concat({Le16(0x0070), Le16(1), Le16(0x0070), Le16(1)}));
  EXPECT_EQ(form.ConnectionCount(), 1) << "removed before its buffer was done";
  Tick();
  EXPECT_EQ(form.ConnectionCount(), 0);
}

TEST_F(ConnectionsTest, RemovingTheOnlyRecordEmptiesTheTable) {
  const int a = Connect();
  Deliver(a, kIgnored);
  form.ReceiveFromConnection(Record(a));
  CloseClient(a);
  ASSERT_TRUE(ServerReadable(form.ConnectionTable[0]));
  Tick();  // handles the buffered packet; the close comes with the receive
  Tick();
  ASSERT_EQ(form.ConnectionCount(), 0);

  const int b = Connect();
  ASSERT_EQ(form.ConnectionCount(), 1);
  EXPECT_EQ(form.ConnectionTable[0].Socket, serverSockets[b]);
  EXPECT_EQ(form.ConnectionTable[0].RecvLength, 0);
  EXPECT_EQ(form.ConnectionTable[0].FirstPacketId, 0);
}

// After a removal, the record that moves into the freed place gets its packet
// handled but no receive on that tick; the records after it get both.
TEST_F(ConnectionsTest, RecordMovingIntoTheFreedPlaceIsHandledWithoutAReceive) {
  const int a = Connect();
  const int b = Connect();
  const int c = Connect();
  const Bytes stray = Concat({Le16(kStrayId), Zeros(4)});
  Deliver(b, stray);
  form.ReceiveFromConnection(Record(b));
  ASSERT_EQ(Record(b).RecvLength, 6);
  Deliver(b, Zeros(4));  // waits in the socket
  Deliver(c, stray);
  CloseClient(a);
  ASSERT_TRUE(ServerReadable(form.ConnectionTable[0]));

  Tick();
  ASSERT_EQ(form.ConnectionCount(), 2);
  EXPECT_EQ(Record(b).RecvLength, 0) << "b's buffered packet was not handled";
  EXPECT_EQ(Unreceived(Record(b)), 4) << "b was received from on the tick of the removal";
  EXPECT_EQ(Record(c).RecvLength, 0) << "c was not received from and handled";
  EXPECT_LE(Unreceived(Record(c)), 0);
}

// --- One packet per tick ------------------------------------------------------

TEST_F(ConnectionsTest, PacketsArrivingTogetherAreHandledOnePerTick) {
  const int a = Connect();
  Deliver(a, Concat({kIgnored, kIgnored, kIgnored}));
  Tick();
  EXPECT_EQ(Record(a).RecvLength, 12);
  Tick();
  EXPECT_EQ(Record(a).RecvLength, 6);
  Tick();
  EXPECT_EQ(Record(a).RecvLength, 0);
}

TEST_F(ConnectionsTest, FullBufferSkipsTheReceive) {
  const int a = Connect();
  Send(a, Concat({Le16(kStrayId), Zeros(kBufferSize + 98)}));
  for (int i = 0; i < 50 && Record(a).RecvLength < kBufferSize; ++i) {
    ServerReadable(Record(a), 100);
    form.ReceiveFromConnection(Record(a));
  }
  ASSERT_EQ(Record(a).RecvLength, kBufferSize);
  ASSERT_EQ(Unreceived(Record(a)), 100);

  form.ReceiveFromConnection(Record(a));
  EXPECT_EQ(Record(a).RecvLength, kBufferSize);
  EXPECT_EQ(Unreceived(Record(a)), 100);
  // A full buffer is not taken for a close, even when the client has gone.
  CloseClient(a);
  form.ReceiveFromConnection(form.ConnectionTable[0]);
  EXPECT_EQ(form.ConnectionCount(), 1);
}

// --- First packet and version detection --------------------------------------

TEST_F(ConnectionsTest, LoginFirstPacketIsRecordedWithoutDetection) {
  const int a = Connect();
  Deliver(a, Concat({Le16(0x0064), Zeros(53)}));
  form.ReceiveFromConnection(Record(a));
  EXPECT_EQ(Record(a).FirstPacketId, 0x0064);
  EXPECT_EQ(Record(a).RecvLength, 55);
  EXPECT_EQ(Record(a).PacketVersion, 0);
  EXPECT_TRUE(Log().empty()) << "detection ran on a login packet";

  // Only the first data sets the id; a map login later detects nothing.
  Deliver(a, Concat({Le16(0x0072), Zeros(17)}));
  form.ReceiveFromConnection(Record(a));
  EXPECT_EQ(Record(a).FirstPacketId, 0x0064);
  EXPECT_EQ(Record(a).PacketVersion, 0);
  EXPECT_EQ(Record(a).RecvLength, 55 + 19);
}

TEST_F(ConnectionsTest, OtherFirstPacketRunsDetectionWithTheBytesOfThatRead) {
  const int a = Connect();
  Deliver(a, Concat({Le16(0x009B), Zeros(30)}));
  form.ReceiveFromConnection(Record(a));
  // 32 bytes may be the start of a longer login listed for 0x009B: told
  // once a receive brings nothing more.
  EXPECT_EQ(Record(a).PacketVersion, 0);
  form.ReceiveFromConnection(Record(a));
  EXPECT_EQ(Record(a).FirstPacketId, 0x009B);
  EXPECT_EQ(Record(a).PacketVersion, 15);
}

TEST_F(ConnectionsTest, RedetectionReadsTheNewBytesWhateverIsBuffered) {
  const int a = Connect();
  Deliver(a, kIgnored);
  form.ReceiveFromConnection(Record(a));
  ASSERT_EQ(Record(a).FirstPacketId, 0x0187);
  Record(a).RedetectVersion = -1;

  Deliver(a, Concat({Le16(0x009B), Zeros(35)}));
  form.ReceiveFromConnection(Record(a));
  EXPECT_EQ(Record(a).RedetectVersion, 0);
  EXPECT_EQ(Record(a).FirstPacketId, 0x009B);
  EXPECT_EQ(Record(a).PacketVersion, 20) << "detection was not given this read's 37 bytes";
  EXPECT_EQ(Record(a).RecvLength, 43);
}

// --- Closed sockets and reuse -------------------------------------------------

#ifndef _WIN32
// Server-side close, as the login and character roles do it: the record stays.
// (Descriptor numbers handed out again are a POSIX matter.)
TEST_F(ConnectionsTest, SocketClosedByTheServerIsNeverReadOrWrittenAgain) {
  const int a = Connect();
  const SocketHandle closed = serverSockets[a];
  Record(a).State = kStateMap;
  CloseSocket(closed);

  // The system hands the number to something else.
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  const int reused = pair[0] == closed ? 0 : pair[1] == closed ? 1 : -1;
  ASSERT_NE(reused, -1) << "the closed socket's number was not handed out again";
  const std::uint8_t data[] = {0x64, 0x00, 1, 2};
  ASSERT_EQ(::write(pair[1 - reused], data, sizeof data), 4);

  Tick();
  ASSERT_EQ(form.ConnectionCount(), 1);
  EXPECT_EQ(form.ConnectionTable[0].RecvLength, 0);
  std::uint8_t buffer[8];
  EXPECT_EQ(::recv(pair[reused], buffer, sizeof buffer, MSG_PEEK | MSG_DONTWAIT), 4)
      << "the server read from a descriptor it no longer owns";

  form.SendToMapConnections(data, sizeof data, nullptr);
  EXPECT_EQ(::recv(pair[1 - reused], buffer, sizeof buffer, MSG_DONTWAIT), -1)
      << "the server wrote to a descriptor it no longer owns";
  ::close(pair[0]);
  ::close(pair[1]);
}
#endif

#ifndef _WIN32
TEST_F(ConnectionsTest, NewConnectionWithAClosedRecordsSocketContinuesItsIdentityNotItsTraffic) {
  Connect();
  const int b = Connect();
  ConnectionRecord& record = Record(b);
  record.State = kStateCharacter;
  record.RedetectVersion = -1;
  record.AccountId = 2000001;
  record.CharSlot = 4;
  record.PacketVersion = 7;
  record.FirstPacketId = 0x0065;
  record.RecvLength = 3;  // left behind by the earlier connection
  const SocketHandle closed = record.Socket;

  // The client's own socket exists before the server closes, so that the
  // accept is the next to take a number.
  const int client = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
  ASSERT_GE(client, 0);
  CloseSocket(closed);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(form.ListeningPort()));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  clients.push_back(client);
  form.AcceptPending();

  ASSERT_EQ(form.ConnectionCount(), 2) << "the new connection got a record of its own";
  const ConnectionRecord& continued = form.ConnectionTable[1];
  EXPECT_EQ(continued.Socket, closed);
  EXPECT_EQ(continued.AccountId, 2000001);
  EXPECT_EQ(continued.CharSlot, 4);
  EXPECT_EQ(continued.PacketVersion, 7);
  // Its own traffic starts afresh: no bytes, no role, no first packet yet,
  // and a detection of its own, not the one the earlier connection asked for.
  EXPECT_EQ(continued.State, kStateNone);
  EXPECT_EQ(continued.RecvLength, 0);
  EXPECT_EQ(continued.FirstPacketId, 0);
  EXPECT_EQ(continued.RedetectVersion, 0);

  // A login, a byte at a time, runs no detection at all.
  for (const std::uint8_t byte : Concat({Le16(0x0064), Zeros(53)})) {
    test::SendAll(client, Bytes{byte});
    ASSERT_TRUE(ServerReadable(continued));
    form.ReceiveFromConnection(form.ConnectionTable[1]);
  }
  EXPECT_EQ(form.ConnectionTable[1].RecvLength, 55);
  EXPECT_EQ(form.ConnectionTable[1].FirstPacketId, 0x0064);
  EXPECT_EQ(form.ConnectionTable[1].PacketVersion, 7);
  EXPECT_TRUE(Log().empty());
}
#endif

// --- Sending to the map -------------------------------------------------------

TEST_F(ConnectionsTest, SendToMapConnectionsReachesStateThreeOnly) {
  const int inMap = Connect();
  const int atCharacter = Connect();
  const int alsoInMap = Connect();
  Record(inMap).State = kStateMap;
  Record(atCharacter).State = kStateCharacter;
  Record(alsoInMap).State = kStateMap;

  const std::uint8_t packet[] = {0x91, 0x00, 'a', 'b', 'c'};
  // A view that takes sends is told them, though nothing else takes them.
  std::vector<EventKind> told;
  const EventSubscription sends(form.Events, kSendKinds,
                                [&](const ConnectionEvent& event) { told.push_back(event.Kind); });
  const auto before = std::chrono::steady_clock::now();
  form.SendToMapConnections(packet, 3, nullptr);
  const auto after = std::chrono::steady_clock::now();
  // The time the Connections window counts from: the steady clock's, to
  // within the system's tick.
  for (const int client : {inMap, alsoInMap}) {
    EXPECT_GE(Record(client).Traffic.LastPacket, before - std::chrono::milliseconds(50));
    EXPECT_LE(Record(client).Traffic.LastPacket, after);
  }
  EXPECT_EQ(Record(atCharacter).Traffic.LastPacket, std::chrono::steady_clock::time_point{});
  EXPECT_EQ(told, (std::vector<EventKind>{EventKind::kPacketOut, EventKind::kWritten,
                                          EventKind::kPacketOut, EventKind::kWritten}));
  EXPECT_EQ(Received(inMap, 3), (Bytes{0x91, 0x00, 'a'}));
  EXPECT_EQ(Received(alsoInMap, 3), (Bytes{0x91, 0x00, 'a'}));
  EXPECT_TRUE(NothingMore(atCharacter));
  EXPECT_TRUE(NothingMore(inMap)) << "more than the given length was sent";
}

TEST_F(ConnectionsTest, SendingToAMapClientThatWentAwayIsHarmless) {
  const int gone = Connect();
  const int staying = Connect();
  Record(gone).State = kStateMap;
  Record(staying).State = kStateMap;
  CloseClient(gone);
  const std::uint8_t packet[] = {1, 2};
  // The second send meets a reset connection; it must not end the process.
  form.SendToMapConnections(packet, 2, nullptr);
  form.SendToMapConnections(packet, 2, nullptr);
  EXPECT_EQ(Received(staying, 4), (Bytes{1, 2, 1, 2}));
}

}  // namespace
}  // namespace quib
