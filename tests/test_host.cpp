#include "tests/test_host.h"

#include "base/settings.h"
#include "protocol/packet_handler.h"
#include "protocol/packet_log.h"
#include "protocol/receive_path.h"

namespace quib::test {

TestHost::TestHost()
    : Map(kDefaultMapName), Position{kDefaultPosX, kDefaultPosY}, Packets(ShippedTable()) {}

ConnectionRecord& TestHost::Connect() {
  ConnectionRecord& record = connections_.emplace_back();
  record.PeerAddress =
      SocketAddressOf({kLoopbackAddress, static_cast<std::uint16_t>(50000 + connections_.size())});
  record.Conversation = connections_.size();
  return record;
}

void TestHost::Receive(ConnectionRecord& connection, const Bytes& bytes) {
  std::copy(bytes.begin(), bytes.end(), connection.RecvBuffer.begin() + connection.RecvLength);
  TakeReceivedBytes(*this, connection, static_cast<std::int32_t>(bytes.size()));
}

void TestHost::Handle(ConnectionRecord& connection) { HandlePacket(*this, connection); }

void TestHost::Feed(ConnectionRecord& connection, const Bytes& bytes) {
  Receive(connection, bytes);
  Handle(connection);
}

ConnectionRecord& TestHost::Hold(ConnectionRecord& connection, const Bytes& bytes) {
  std::copy(bytes.begin(), bytes.end(), connection.RecvBuffer.begin());
  connection.RecvLength = static_cast<std::int32_t>(bytes.size());
  return connection;
}

Bytes TestHost::Sent(const ConnectionRecord& connection) {
  Bytes bytes;
  bytes.swap(sent_[&connection]);
  return bytes;
}

std::int32_t TestHost::ConnectionCount() const {
  return static_cast<std::int32_t>(connections_.size()) + OtherConnections;
}

void TestHost::SendToConnection(ConnectionRecord& connection, const std::uint8_t* bytes,
                                std::int32_t length, const char* name) {
  if (Closed(connection) || length <= 0) return;
  Emit({.Kind = EventKind::kPacketOut,
        .Connection = &connection,
        .Bytes = {bytes, static_cast<std::size_t>(length)},
        .Text = name != nullptr ? name : ""});
  Bytes& sent = sent_[&connection];
  sent.insert(sent.end(), bytes, bytes + length);
}

std::int32_t TestHost::SendToMapConnections(const std::uint8_t* bytes, std::int32_t length,
                                            const char* name) {
  std::int32_t count = 0;
  for (ConnectionRecord& connection : connections_) {
    if (connection.State != kStateMap || Closed(connection)) continue;
    SendToConnection(connection, bytes, length, name);
    ++count;
  }
  return count;
}

void TestHost::CloseConnection(ConnectionRecord& connection) {
  Emit({.Kind = EventKind::kClosed, .Connection = &connection, .How = CloseKind::kServer});
  closed_.insert(&connection);
}

void TestHost::Emit(const ConnectionEvent& event) {
  if (event.Kind == EventKind::kOutcome) Outcomes.emplace_back(event.Text);
  if (HiddenWithUnknownPackets(event) && HideUnknown) return;
  std::string line = DesignedLine(event);
  if (!line.empty()) Log.push_back(std::move(line));
}

}  // namespace quib::test
