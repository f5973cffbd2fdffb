// A host for the protocol made in the test: no socket and no window. It holds
// its connections and what the operator set, keeps what was sent to each
// connection, and keeps the log as Form1 would.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "protocol/connection_events.h"
#include "protocol/connection_record.h"
#include "protocol/protocol_host.h"
#include "tests/test_support.h"

namespace quib::test {

class TestHost : public ProtocolHost {
 public:
  static constexpr std::int32_t kTick = 0x01020304;
  static constexpr std::uint16_t kPort = 6900;

  // The shipped packet database, the designed settings, 127.0.0.1:6900
  // advertised.
  TestHost();
  ~TestHost() = default;

  // A client from 127.0.0.1, its record held for the host's life.
  ConnectionRecord& Connect();
  // The record of the `index`-th client connected.
  ConnectionRecord& At(std::size_t index) { return connections_.at(index); }
  // One receive that brought `bytes`, as PollConnections takes it; empty
  // bytes for a receive that brought nothing.
  void Receive(ConnectionRecord& connection, const Bytes& bytes);
  // The handler's call on a tick.
  void Handle(ConnectionRecord& connection);
  // A receive of `bytes`, then the tick's handler call.
  void Feed(ConnectionRecord& connection, const Bytes& bytes);
  // `bytes` at the head of the buffer, as framing hands a packet to a branch.
  ConnectionRecord& Hold(ConnectionRecord& connection, const Bytes& bytes);

  // What was sent to the connection since the last call.
  Bytes Sent(const ConnectionRecord& connection);
  bool Closed(const ConnectionRecord& connection) const { return closed_.count(&connection) != 0; }

  // The designed lines told so far, "Hide Unknown Packets" applied.
  std::vector<std::string> Log;
  // What commands said.
  std::vector<std::string> Outcomes;

  // The operator's settings and the server's facts.
  std::string Map;
  std::string Position[2];
  bool Male = false;
  bool Reload = false;
  bool HideUnknown = false;
  PacketTable Packets;
  std::int32_t OtherConnections = 0;  // counted beside those held
  Endpoint Server{kLoopbackAddress, kPort};
  // The receive path's clock, moved by the test, and its tick: 0 makes
  // every receive that brings nothing a quiet one.
  std::chrono::steady_clock::time_point Clock{};
  std::chrono::milliseconds Quiet{0};

  // ProtocolHost.
  const std::string& MapName() const override { return Map; }
  const std::string& PositionText(Axis axis) const override {
    return Position[static_cast<int>(axis)];
  }
  void SetPositionText(Axis axis, std::string text) override {
    Position[static_cast<int>(axis)] = std::move(text);
  }
  bool MaleSelected() const override { return Male; }
  bool ReloadPending() const override { return Reload; }
  void SetReloadPending(bool pending) override { Reload = pending; }
  const PacketTable& PacketDatabase() const override { return Packets; }
  std::int32_t ConnectionCount() const override;
  Endpoint CharServerEndpoint() const override { return Server; }
  Endpoint MapServerEndpoint() const override { return Server; }
  std::int32_t CurrentMapTick() const override { return kTick; }
  std::chrono::steady_clock::time_point Now() const override { return Clock; }
  std::chrono::milliseconds QuietInterval() const override { return Quiet; }
  void SendToConnection(ConnectionRecord& connection, const std::uint8_t* bytes,
                        std::int32_t length, const PacketDescription* packet) override;
  std::int32_t SendToMapConnections(const std::uint8_t* bytes, std::int32_t length,
                                    const PacketDescription* packet) override;
  void CloseConnection(ConnectionRecord& connection) override;
  void Emit(const ConnectionEvent& event) override;

 private:
  std::deque<ConnectionRecord> connections_;
  std::map<const ConnectionRecord*, Bytes> sent_;
  std::set<const ConnectionRecord*> closed_;
};

}  // namespace quib::test
