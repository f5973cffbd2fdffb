#include "app/connections.h"

#include <algorithm>
#include <thread>

#include "app/main_window.h"
#include "packetdb/version_detection.h"
#include "protocol/packet_handler.h"

namespace quib {

bool IsLoginOrCharacterPacket(std::uint16_t id) {
  switch (id) {
    case 0x0200: case 0x0204: case 0x0064: case 0x01DD: case 0x020B:
    case 0x0065: case 0x0187: case 0x0066: case 0x0067: case 0x0068:
      return true;
    default:
      return false;
  }
}

std::int32_t Form1::ConnectionCount() const {
  return static_cast<std::int32_t>(ConnectionTable.size());
}

void Form1::AcceptPending() {
  if (AcceptDelay.count() > 0) std::this_thread::sleep_for(AcceptDelay);
  sockaddr_in peer{};
  const SocketHandle socket = AcceptConnection(LoginServer.Socket, peer);
  if (socket == kInvalidSocket) return;
  // A client that gets the socket value of a record the server closed itself
  // continues in that record, with all its state.
  const auto reused = std::find_if(ConnectionTable.begin(), ConnectionTable.end(),
                                   [&](const ConnectionRecord& r) { return r.Socket == socket; });
  if (reused != ConnectionTable.end()) return;
  ConnectionRecord& record = ConnectionTable.emplace_back();
  record.Socket = socket;
  record.PeerAddress = peer;
}

void Form1::PollConnections() {
  // A receive may remove the entry at i; the entry that moves into its place
  // then gets its packet handled without a receive of its own on this tick.
  for (std::size_t i = 0; i < ConnectionTable.size(); ++i) {
    ReceiveFromConnection(ConnectionTable[i]);
    if (i < ConnectionTable.size() && ConnectionTable[i].RecvLength > 0) {
      HandlePacket(*this, ConnectionTable[i]);
    }
  }
}

void Form1::ReceiveFromConnection(ConnectionRecord& connection) {
  // A full buffer would ask for 0 bytes, which reads like a close: skip it.
  const std::int32_t free = kBufferSize - connection.RecvLength;
  if (free <= 0) return;
  const std::int32_t n =
      ReceiveBytes(connection.Socket, connection.RecvBuffer.data() + connection.RecvLength, free);
  if (n == 0) {
    // The client has stopped sending. Packets it sent before are still
    // answered, one per tick as usual; the record goes once they are done.
    if (connection.RecvLength > 0) return;
    const SocketHandle socket = connection.Socket;
    CloseSocket(socket);
    RemoveConnection(socket);
    return;
  }
  if (n < 0) return;

  // The id is read from the first two new bytes; after a one-byte read the
  // second is whatever the buffer held there.
  const auto id = static_cast<std::uint16_t>(ReadInt16(connection.RecvBuffer, connection.RecvLength));
  if (connection.RedetectVersion != 0) {
    connection.RedetectVersion = 0;
    connection.FirstPacketId = id;
    DetectPacketVersion(*this, connection, id, n);
  } else if (connection.FirstPacketId == 0) {
    connection.RedetectVersion = 0;
    connection.FirstPacketId = id;
    if (!IsLoginOrCharacterPacket(id)) DetectPacketVersion(*this, connection, id, n);
  }
  connection.RecvLength += n;
}

void Form1::RemoveConnection(SocketHandle socket) {
  const auto found = std::find_if(ConnectionTable.begin(), ConnectionTable.end(),
                                  [&](const ConnectionRecord& r) { return r.Socket == socket; });
  if (found != ConnectionTable.end()) ConnectionTable.erase(found);
}

void Form1::SendToMapConnections(const std::uint8_t* buffer, std::int32_t length) {
  for (const ConnectionRecord& connection : ConnectionTable) {
    if (connection.State == kStateMap) SendBytes(connection.Socket, buffer, length);
  }
}

}  // namespace quib
