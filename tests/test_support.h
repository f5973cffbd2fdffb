// Test support: a Form1 listening on a free loopback port, and clients that
// connect to it over real sockets.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/main_window.h"

namespace quib::test {

using Bytes = std::vector<std::uint8_t>;

// Little-endian helpers for building requests.
Bytes Le16(std::uint16_t value);
Bytes Le32(std::uint32_t value);
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Zeros(std::size_t count);
Bytes FromText(const std::string& text);
// Reading replies: a little-endian 16-bit value, and bytes as text.
std::uint16_t U16(const Bytes& bytes, std::size_t offset);
std::string TextAt(const Bytes& bytes, std::size_t offset, std::size_t count);

// What a client sends on the road, with the shipped packet_db.txt.
Bytes LoginRequest();                 // 0x0064, 55 bytes
Bytes CharConnect();                  // 0x0065 with account 2000000, 17 bytes
Bytes CharSelect(std::uint8_t slot);  // 0x0066, 3 bytes
Bytes MapLogin();                     // 0x0072, 19 bytes: packet version 5
Bytes Walk();                         // 0x0085 to (100, 120), 5 bytes
Bytes Chat(const std::string& text);  // 0x008C, the length field counting the whole packet
inline constexpr std::size_t kMapGreetingSize = 4 + 11 + 46 + 76;  // echo, 0x0073, two lines
// "0x0072,19,wanttoconnection,2" style database text for tests.
PacketTable TableFromText(const std::string& text);
// The packet_db.txt shipped with the server.
PacketTable ShippedTable();

// The lines of the log, oldest first.
inline std::vector<std::string> LogLines(const ListBox& list) {
  return {list.Items().begin(), list.Items().end()};
}

// A blocking client socket connected to address:port (host byte order), with
// a receive buffer of that size when one is given. -1 on failure.
int ConnectClient(std::int32_t port, std::uint32_t address = 0x7F000001, int receiveBuffer = 0);
void SendAll(int fd, const Bytes& bytes);
// Reads exactly `count` bytes, waiting up to `timeoutMs`; fewer on timeout or close.
Bytes ReadExactly(int fd, std::size_t count, int timeoutMs = 2000);
// Whatever arrives within `waitMs`.
Bytes ReadAvailable(int fd, int waitMs = 50);
// True when the peer has closed the connection (read gives end of file).
bool PeerClosed(int fd, int waitMs = 500);
void CloseClientSocket(int fd);
// Half-closes a client socket: it sends no more, but still reads.
bool StopSending(int fd);
// Socket calls the tests make on either side, the server's included: true once
// the socket has something to read; the bytes waiting, without taking them (-1
// when none).
bool WaitReadable(std::int64_t socket, int waitMs);
int Peek(std::int64_t socket);

// The whole road against a running server: login, character list and select
// of `slot`, map login and a walk, each reply checked. An empty text when
// every reply came as it should, else what went wrong.
std::string WalkTheRoad(std::int32_t port, std::uint8_t slot = 0);

class ServerFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Connects a client and lets the server accept it. Returns the client's
  // index; its record is form.ConnectionTable[index] while nothing is removed.
  int Connect();
  void Send(int client, const Bytes& bytes) { SendAll(clients[client], bytes); }
  Bytes Received(int client, std::size_t count) { return ReadExactly(clients[client], count); }
  bool NothingMore(int client) { return ReadAvailable(clients[client]).empty(); }
  void CloseClient(int client);
  void Tick() { form.PollConnections(); }
  ConnectionRecord& Record(int client);  // the record whose socket serves the client
  std::vector<std::string> Log() const { return LogLines(form.List1); }

  static constexpr std::int32_t kTestTick = 0x01020304;
  Form1 form;
  std::vector<int> clients;
  std::vector<SocketHandle> serverSockets;
};

}  // namespace quib::test
