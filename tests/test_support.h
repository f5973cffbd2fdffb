// Test support: a Form1 listening on a free loopback port, clients that
// connect to it over real sockets (tests/client_support.h), and on Linux the
// built server as a process.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/client_support.h"
#ifndef _WIN32
#include "tests/server_process.h"
#endif

namespace quib::test {

// Sends all of `bytes`; a failure is the test's.
void SendAll(int fd, const Bytes& bytes);
// "0x0072,19,wanttoconnection,2" style database text for tests.
PacketTable TableFromText(const std::string& text);
// The packet_db.txt shipped with the server.
PacketTable ShippedTable();

// The lines of the log, oldest first.
inline std::vector<std::string> LogLines(const ListBox& list) {
  return {list.Items().begin(), list.Items().end()};
}

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

#ifndef _WIN32
// A test against the built server, started in the console on a free port.
class RunningServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = server.StartConsole();
    ASSERT_GT(port, 0) << server.ErrorText();
  }

  ServerProcess server;
  std::int32_t port = -1;
};
#endif

}  // namespace quib::test
