#include "app/connections.h"

#include <algorithm>
#include <limits>
#include <thread>

#include "app/main_window.h"
#include "packetdb/version_detection.h"
#include "protocol/packet_cases.h"
#include "protocol/packet_handler.h"
#include "protocol/packet_log.h"

namespace quib {

namespace {

// A connection given up on keeps its socket this long at most, to let the
// rest of a packet already started reach the client.
constexpr auto kGiveUpGrace = std::chrono::seconds(10);

// A new connection with the socket value of a kept record continues its
// identity (account, character, slot, packet version, position, a pending
// re-detection) but none of the earlier connection's traffic.
void StartTraffic(ConnectionRecord& record, const Endpoint& peer) {
  record.PeerAddress = SocketAddressOf(peer);
  record.RecvBuffer.fill(0);
  record.RecvLength = 0;
  record.FirstPacketId = 0;
  record.State = kStateNone;
  record.Unsent.Clear();
  record.SkipLength = 0;
  record.NewBytes = false;
  record.DetectionBytes = 0;
  record.GivenUp = false;
}

void GiveUp(Form1& form, ConnectionRecord& connection) {
  form.CaptureDroppedBytes(connection, "Dropped: the client stopped reading its replies");
  connection.Unsent.KeepStartedPacket();
  connection.GivenUp = true;
  connection.GivenUpAt = std::chrono::steady_clock::now();
  connection.State = kStateNone;  // no more broadcasts
  connection.RecvLength = 0;
  connection.SkipLength = 0;
  connection.DetectionBytes = 0;
}

// Tells the connection's packet version from the bytes it sent since
// detection was due (its DetectionBytes, the last of the buffer), or says in
// the log that it cannot be told and keeps the version it had. The map login
// may come in pieces: while more of it may come, and no listed size is met,
// it waits; once a tick brings nothing (`quiet`) it is told with what came.
void DetectVersion(Form1& form, ConnectionRecord& connection, bool quiet) {
  const std::int32_t bytes = connection.DetectionBytes;
  if (bytes < 2 && !quiet) return;  // its id is not whole yet
  const auto id =
      static_cast<std::uint16_t>(ReadInt16(connection.RecvBuffer, connection.RecvLength - bytes));
  if (connection.FirstPacketId == 0) connection.FirstPacketId = id;
  // Login and character packets never say which map version a client
  // speaks: a requested detection waits for the connection's next data.
  if (IsLoginOrCharacterPacket(id)) {
    connection.DetectionBytes = 0;
    return;
  }
  connection.RedetectVersion = 0;
  connection.FirstPacketId = id;
  if (const auto version = DetectPacketVersion(id, bytes)) {
    connection.PacketVersion = *version;
    connection.DetectionBytes = 0;
    return;
  }
  if (!quiet && bytes < LargestMapLoginSize(id)) return;
  connection.DetectionBytes = 0;
  // The dump shows the whole buffer from offset 2: when data was already
  // held it leads the dump.
  form.Log(PeerHex(connection) + " - (" + ReceivedBytesDump(connection) +
               "), Unable To Determine Packet Version, results may be incomplete.",
           &connection);
}

}  // namespace

bool IsLoginOrCharacterPacket(std::uint16_t id) {
  for (const PacketCase& row : PacketCases()) {
    if (row.Entry == nullptr && row.Id == id) return row.Role != PacketRole::kMap;
  }
  return false;
}

std::int32_t Form1::ConnectionCount() const {
  return static_cast<std::int32_t>(ConnectionTable.size());
}

bool Form1::AcceptsAtOnce() const {
  return AcceptDelay < std::chrono::milliseconds(kDefaultAcceptDelayMs);
}

void Form1::AcceptPending() {
  // The backlog follows the cadence, which the operator may change while the
  // server runs: as designed one connection waits, and every notification
  // accepts one; faster, the system keeps all that come at once and each
  // notification takes every one that waits, so that a burst is not dropped
  // (a dropped attempt costs its client a second).
  const bool atOnce = AcceptsAtOnce();
  if (atOnce != WideBacklog) {
    SetListenBacklog(LoginServer.Socket, atOnce ? LargestBacklog() : 1);
    WideBacklog = atOnce;
  }
  if (AcceptDelay.count() > 0) std::this_thread::sleep_for(AcceptDelay);
  // A bound on one turn, so that a flood of connections cannot hold off the
  // tick for long; what is left is announced again.
  constexpr int kMostPerTurn = 256;
  for (int i = 0; i < (atOnce ? kMostPerTurn : 1); ++i) {
    if (!AcceptOne()) return;
  }
}

bool Form1::AcceptOne() {
  Endpoint peer;
  const SocketHandle socket = AcceptConnection(LoginServer.Socket, peer);
  if (socket == kInvalidSocket) return false;
  const auto reused = std::find_if(ConnectionTable.begin(), ConnectionTable.end(),
                                   [&](const ConnectionRecord& r) { return r.Socket == socket; });
  if (reused != ConnectionTable.end()) {
    StartTraffic(*reused, peer);
    CaptureAccepted(*reused);
    return true;
  }
  ConnectionRecord& record = ConnectionTable.emplace_back();
  record.Socket = socket;
  record.PeerAddress = SocketAddressOf(peer);
  CaptureAccepted(record);
  return true;
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
  FlushCapture();
}

void Form1::ReceiveFromConnection(ConnectionRecord& connection) {
  if (!connection.Unsent.Empty()) FlushUnsent(connection);
  if (connection.GivenUp) {
    const bool graceOver = std::chrono::steady_clock::now() - connection.GivenUpAt > kGiveUpGrace;
    if (connection.Unsent.Empty() || graceOver) {
      EndConnection(connection, PacketCapture::EndKind::kServerClosed);
    }
    return;
  }

  // A full buffer would ask for 0 bytes, which reads like a close: skip it.
  const std::int32_t free = kBufferSize - connection.RecvLength;
  if (free <= 0) {
    TakeReceivedBytes(connection, 0);
    return;
  }
  std::uint8_t* at = connection.RecvBuffer.data() + connection.RecvLength;
  std::int32_t n = ReceiveBytes(connection.Socket, at, free);
  if (n == 0) {
    // The client has stopped sending. Packets it sent before are still
    // answered, one per tick as usual, a short one as it is: nothing more
    // will come. The record goes once they are done.
    if (connection.RecvLength > 0) {
      TakeReceivedBytes(connection, 0);
      return;
    }
    EndConnection(connection, PacketCapture::EndKind::kClientClosed);
    return;
  }
  if (n < 0) {
    // A reset connection goes as a closed one does: Windows keeps failing
    // its reads without ever returning 0, so the record would stay for good.
    if (LastSocketError() == SocketError::kReset) {
      EndConnection(connection, PacketCapture::EndKind::kReset);
      return;
    }
    TakeReceivedBytes(connection, 0);
    return;
  }

  TakeReceivedBytes(connection, n);
}

void Form1::TakeReceivedBytes(ConnectionRecord& connection, std::int32_t n) {
  connection.NewBytes = false;
  std::uint8_t* at = connection.RecvBuffer.data() + connection.RecvLength;
  if (n > 0 && connection.SkipLength > 0) {
    // The rest of a packet longer than the buffer: read past it, so that
    // its bytes are never taken for packets of their own.
    const std::int32_t skipped = std::min(n, connection.SkipLength);
    CaptureClientBytes(connection, connection.RecvLength, connection.RecvLength + skipped,
                       "Dropped: the rest of a packet longer than the buffer");
    connection.SkipLength -= skipped;
    n -= skipped;
    std::copy(at + skipped, at + skipped + n, at);
    if (n == 0) return;
  }
  if (n <= 0) {
    if (connection.DetectionBytes > 0) DetectVersion(*this, connection, true);
    return;
  }

  // Detection is due with a connection's first data, and with its first data
  // after the character server asked for it; it then looks at every byte
  // that comes until it can tell.
  const bool due = connection.DetectionBytes > 0 || connection.RedetectVersion != 0 ||
                   connection.FirstPacketId == 0;
  connection.RecvLength += n;
  connection.NewBytes = true;
  if (due) {
    connection.DetectionBytes += n;
    DetectVersion(*this, connection, false);
  }
}

void Form1::EndConnection(ConnectionRecord& connection, PacketCapture::EndKind how) {
  Capture.EndConversation(connection.Conversation, how, TimestampNow());
  const SocketHandle socket = connection.Socket;
  CloseSocket(socket);
  RemoveConnection(socket);
}

void Form1::RemoveConnection(SocketHandle socket) {
  const auto found = std::find_if(ConnectionTable.begin(), ConnectionTable.end(),
                                  [&](const ConnectionRecord& r) { return r.Socket == socket; });
  if (found != ConnectionTable.end()) ConnectionTable.erase(found);
}

std::int32_t Form1::SendToMapConnections(const std::uint8_t* buffer, std::int32_t length,
                                         const char* comment) {
  std::int32_t sent = 0;
  for (ConnectionRecord& connection : ConnectionTable) {
    if (connection.State != kStateMap || connection.GivenUp || !IsSocketOpen(connection.Socket)) {
      continue;
    }
    SendToConnection(connection, buffer, length, comment);
    ++sent;
  }
  return sent;
}

void Form1::SendToConnection(ConnectionRecord& connection, const std::uint8_t* bytes,
                             std::int32_t length, const char* comment) {
  if (connection.GivenUp || length <= 0) return;
  if (!connection.Unsent.Empty()) FlushUnsent(connection);
  std::int32_t sent = 0;
  if (connection.Unsent.Empty()) {
    sent = SendBytes(connection.Socket, bytes, length);
    if (sent < 0) {
      // A closed or reset socket takes nothing, now or later.
      if (LastSocketError() != SocketError::kWouldBlock) return;
      sent = 0;
    }
    if (sent > 0 && Capture.IsOpen()) {
      Capture.ServerData(connection.Conversation, bytes, static_cast<std::size_t>(sent),
                         comment != nullptr ? comment : "", TimestampNow());
    }
    if (sent == length) return;
  }
  const auto rest = static_cast<std::size_t>(length - sent);
  if (connection.Unsent.Size() + rest > kUnsentLimit) {
    GiveUp(*this, connection);
    return;
  }
  connection.Unsent.Push(bytes + sent, rest, sent > 0, comment);
}

void Form1::FlushUnsent(ConnectionRecord& connection) {
  while (!connection.Unsent.Empty()) {
    const auto size = static_cast<std::int32_t>(
        std::min<std::size_t>(connection.Unsent.Size(), std::numeric_limits<std::int32_t>::max()));
    const std::int32_t sent = SendBytes(connection.Socket, connection.Unsent.Data(), size);
    if (sent < 0) {
      if (LastSocketError() != SocketError::kWouldBlock) connection.Unsent.Clear();
      return;
    }
    if (sent == 0) return;
    // Packet by packet, so that each starts its frame with its own comment.
    for (auto left = static_cast<std::size_t>(sent); left > 0;) {
      const std::size_t piece = std::min(left, connection.Unsent.FrontLength());
      if (Capture.IsOpen()) {
        const char* comment = connection.Unsent.FrontComment();
        Capture.ServerData(connection.Conversation, connection.Unsent.Data(), piece,
                           comment != nullptr ? comment : "", TimestampNow());
      }
      connection.Unsent.Drop(piece);
      left -= piece;
    }
  }
}

void Form1::CloseConnection(ConnectionRecord& connection) {
  CaptureDroppedBytes(connection, "Dropped: the server closed the connection");
  Capture.EndConversation(connection.Conversation, PacketCapture::EndKind::kServerClosed,
                          TimestampNow());
  CloseSocket(connection.Socket);
  connection.RecvLength = 0;
  connection.SkipLength = 0;
  connection.DetectionBytes = 0;
  connection.Unsent.Clear();
}

}  // namespace quib
