#include "protocol/receive_path.h"

#include <algorithm>
#include <utility>

#include "packetdb/version_detection.h"
#include "protocol/connection_events.h"
#include "protocol/connection_record.h"
#include "protocol/packet_cases.h"
#include "protocol/packet_descriptions.h"
#include "protocol/protocol_host.h"

namespace quib {

namespace {

std::span<const std::uint8_t> Held(const ConnectionRecord& connection, std::int32_t from,
                                   std::int32_t to) {
  return {connection.RecvBuffer.data() + from, static_cast<std::size_t>(to - from)};
}

// Tells the connection's packet version from the bytes it sent since
// detection was due (its DetectionBytes, the last of the buffer), or tells
// that it cannot be told and keeps the version it had. The map login may come
// in pieces, and a size listed for its id may be the start of a longer one
// listed too: it waits while more may come, and is told once a tick brings
// nothing (`quiet`) or the largest size listed for the id is reached. Then
// the size that came decides; failing that, the last listed size on the way
// (the bytes after it are packets of their own).
void DetectVersion(ProtocolHost& host, ConnectionRecord& connection, bool quiet) {
  ReceiveState& receive = connection.Receive;
  const std::int32_t bytes = receive.DetectionBytes;
  if (bytes < 2 && !quiet) return;  // its id is not whole yet
  const auto id =
      static_cast<std::uint16_t>(ReadInt16(connection.RecvBuffer, connection.RecvLength - bytes));
  if (connection.FirstPacketId == 0) connection.FirstPacketId = id;
  // Login and character packets never say which map version a client
  // speaks: a requested detection waits for the connection's next data.
  if (IsLoginOrCharacterPacket(id)) {
    receive.DetectionBytes = 0;
    return;
  }
  if (const auto version = DetectPacketVersion(id, bytes)) receive.Candidate = *version;
  if (!quiet && bytes < LargestMapLoginSize(id)) return;
  connection.RedetectVersion = 0;
  connection.FirstPacketId = id;
  const std::int32_t version = std::exchange(receive.Candidate, 0);
  receive.DetectionBytes = 0;
  if (version != 0) {
    connection.PacketVersion = version;
    return;
  }
  host.Emit({.Kind = EventKind::kDetectFailed, .Connection = &connection});
}

}  // namespace

bool IsLoginOrCharacterPacket(std::uint16_t id) {
  for (const PacketCase& row : PacketCases()) {
    if (row.Entry == nullptr && row.Id == id) return row.Role != PacketRole::kMap;
  }
  return false;
}

void TakeReceivedBytes(ProtocolHost& host, ConnectionRecord& connection, std::int32_t n) {
  ReceiveState& receive = connection.Receive;
  receive.NewBytes = false;
  std::uint8_t* at = connection.RecvBuffer.data() + connection.RecvLength;
  if (n > 0) connection.Traffic.BytesIn += static_cast<std::uint64_t>(n);
  if (n > 0 && receive.SkipLength > 0) {
    // The rest of a packet longer than the buffer: read past it, so that
    // its bytes are never taken for packets of their own.
    const std::int32_t skipped = std::min(n, receive.SkipLength);
    host.Emit({.Kind = EventKind::kDropped,
               .Connection = &connection,
               .Bytes = Held(connection, connection.RecvLength, connection.RecvLength + skipped),
               .Text = kDroppedPastBuffer});
    receive.SkipLength -= skipped;
    n -= skipped;
    std::copy(at + skipped, at + skipped + n, at);
    std::fill(at + n, at + n + skipped, std::uint8_t{0});
    if (n == 0) return;
  }
  if (n <= 0) {
    if (receive.DetectionBytes > 0 && IsQuiet(host, connection)) {
      DetectVersion(host, connection, true);
    }
    return;
  }

  // Detection is due with a connection's first data, and with its first data
  // after the character server asked for it; it then looks at every byte
  // that comes until it can tell.
  const bool due = DetectionDue(connection);
  connection.RecvLength += n;
  receive.NewBytes = true;
  receive.LastBytes = host.Now();
  if (due) {
    receive.DetectionBytes += n;
    DetectVersion(host, connection, false);
  }
}

bool DetectionDue(const ConnectionRecord& connection) {
  return connection.Receive.DetectionBytes > 0 || connection.RedetectVersion != 0 ||
         connection.FirstPacketId == 0;
}

bool IsQuiet(const ProtocolHost& host, const ConnectionRecord& connection) {
  if (connection.Receive.NewBytes) return false;
  // A timer may fire a little early (a coarse one by up to 5%): a tenth of
  // the interval is allowed for it.
  const std::chrono::milliseconds interval = host.QuietInterval();
  return host.Now() - connection.Receive.LastBytes >= interval - interval / 10;
}

void DropReceived(ProtocolHost& host, ConnectionRecord& connection, std::string_view why) {
  ReceiveState& receive = connection.Receive;
  const std::int32_t held = std::clamp(connection.RecvLength, 0, kBufferSize);
  if (receive.Told < held) {
    host.Emit({.Kind = EventKind::kDropped,
               .Connection = &connection,
               .Bytes = Held(connection, receive.Told, held),
               .Text = why});
  }
  // Bytes never received read as zero, never as an earlier packet's.
  std::fill(connection.RecvBuffer.begin(), connection.RecvBuffer.begin() + held, std::uint8_t{0});
  connection.RecvLength = 0;
  receive = {};
}

void StartReceiving(ConnectionRecord& connection) {
  connection.Reached = 0;
  connection.RecvBuffer.fill(0);
  connection.RecvLength = 0;
  connection.FirstPacketId = 0;
  connection.RedetectVersion = 0;
  connection.Receive = {};
}

}  // namespace quib
