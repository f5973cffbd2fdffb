#include "tests/test_support.h"

#include <stdexcept>

#include "packetdb/text_utils.h"

namespace quib::test {

void SendAll(int fd, const Bytes& bytes) {
  if (!SendBytes(fd, bytes)) ADD_FAILURE() << "client send failed";
}

PacketTable TableFromText(const std::string& text) { return ParsePacketDatabase(text); }

PacketTable ShippedTable() {
  PacketTable table;
  if (!LoadPacketDatabase(QUIB_SOURCE_DIR "/data/packet_db.txt", table)) {
    ADD_FAILURE() << "the shipped packet_db.txt did not load";
  }
  return table;
}

void ServerFixture::SetUp() {
  form.AcceptDelay = std::chrono::milliseconds(0);
  // The test's own calls are the ticks: each that brings nothing is quiet.
  form.TickInterval = std::chrono::milliseconds(0);
  form.MapTick = [] { return kTestTick; };
  form.Packets = ShippedTable();
  ASSERT_TRUE(form.Load(0));
}

void ServerFixture::TearDown() {
  for (int fd : clients) {
    if (fd >= 0) CloseClientSocket(fd);
  }
  form.Unload();
}

int ServerFixture::Connect() {
  const int fd = ConnectClient(form.ListeningPort());
  EXPECT_GE(fd, 0);
  const auto before = form.ConnectionCount();
  form.AcceptPending();
  EXPECT_EQ(form.ConnectionCount(), before + 1) << "the server did not accept the client";
  clients.push_back(fd);
  serverSockets.push_back(form.ConnectionTable.empty() ? kInvalidSocket
                                                       : form.ConnectionTable.back().Socket);
  return static_cast<int>(clients.size()) - 1;
}

void ServerFixture::CloseClient(int client) {
  CloseClientSocket(clients[client]);
  clients[client] = -1;
}

ConnectionRecord& ServerFixture::Record(int client) {
  for (auto& record : form.ConnectionTable) {
    if (record.Socket == serverSockets[client]) return record;
  }
  throw std::logic_error("no record serves this client");
}

}  // namespace quib::test
