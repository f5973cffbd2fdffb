// Framing and dispatch. A packet is known by its 16-bit id at offset 0 alone,
// whatever role the connection plays; the packet cases (packet_cases.h) say
// which branch takes it and how long it is, first match wins.
#include "protocol/packet_handler.h"

#include <algorithm>

#include "base/byte_order.h"
#include "protocol/connection_events.h"
#include "protocol/connection_record.h"
#include "protocol/packet_cases.h"
#include "protocol/packet_descriptions.h"
#include "protocol/packet_log.h"
#include "protocol/protocol_host.h"
#include "protocol/receive_path.h"

namespace quib {

namespace {

// The length of the packet at the head of the buffer; 0 when no case knows
// it, and it cannot be framed.
std::int32_t FramedLength(const ConnectionRecord& connection, const PacketCase* packetCase,
                          const VersionEntry* version) {
  return packetCase == nullptr ? 0 : CaseLength(*packetCase, version, connection.RecvBuffer);
}

// True while the packet at the head is not whole: its id, the bytes that tell
// its length, or the length they tell are not all held. A packet longer than
// the buffer is whole once the buffer is full; a length of 0 cannot be
// waited for.
bool IsShort(const PacketCase* packetCase, std::int32_t length, std::int32_t held) {
  const std::int32_t head = packetCase == nullptr ? 2 : CaseHeadLength(*packetCase);
  return held < head || (length > 0 && held < std::min(length, kBufferSize));
}

}  // namespace

void HandlePacket(ProtocolHost& host, ConnectionRecord& connection) {
  if (connection.RecvLength < 0) connection.RecvLength = 0;
  if (connection.RecvLength == 0) return;
  // A map login waits for its version to be told: which case reads it
  // depends on that.
  if (connection.Receive.DetectionBytes > 0) return;
  const auto id = static_cast<std::uint16_t>(ReadInt16(connection.RecvBuffer, 0));
  const VersionEntry* version = ConnectionVersion(host, connection);
  const PacketCase* packetCase = FindPacketCase(id, version);
  const Framing framing{connection.PacketVersion, version, packetCase};
  const std::int32_t held = std::min(connection.RecvLength, kBufferSize);
  const std::int32_t length = FramedLength(connection, packetCase, version);
  // A packet whose rest is still coming waits at the head for it. Once a
  // whole tick has brought nothing, it is handled with what it holds, and the
  // bytes not received read as zero.
  if (IsShort(packetCase, length, held)) {
    if (!IsQuiet(host, connection)) return;
    if (held < length) {
      host.Emit(
          {.Kind = EventKind::kShortPacket, .Connection = &connection, .Id = id, .Length = length});
    }
  }
  // Told before it is handled, so that its replies follow it: the bytes
  // framing will remove, all that is held when it cannot be framed.
  const std::int32_t framed = length <= 0 || length > held ? held : length;
  host.Emit({.Kind = EventKind::kPacketIn,
             .Connection = &connection,
             .Bytes = {connection.RecvBuffer.data(), static_cast<std::size_t>(framed)},
             .Id = id,
             .Case = packetCase,
             .Length = length});
  connection.Receive.Told = framed;
  ++connection.Traffic.PacketsIn;
  connection.Traffic.LastPacket = connection.Receive.LastBytes;
  PacketBuffer scratch{};  // every reply of this call is built here, in turn
  // Id 0 is no packet: nothing runs, and it is framed as the cases frame it.
  if (id != 0x0000) {
    if (packetCase == nullptr) {
      HandleUnknownPacket(host, connection, id);
    } else if (packetCase->Handle != nullptr) {
      packetCase->Handle(host, connection, scratch);
    }
  }
  ConsumePacket(host, connection, id, framing);
}

void ConsumePacket(ProtocolHost& host, ConnectionRecord& connection, std::uint16_t packetId) {
  const VersionEntry* version = ConnectionVersion(host, connection);
  ConsumePacket(host, connection, packetId,
                {connection.PacketVersion, version, FindPacketCase(packetId, version)});
}

void ConsumePacket(ProtocolHost& host, ConnectionRecord& connection, std::uint16_t packetId,
                   const Framing& framed) {
  if (connection.RecvLength <= 0) return;
  Framing now = framed;
  if (connection.PacketVersion != framed.PacketVersion) {
    now.Version = ConnectionVersion(host, connection);
    now.Case = FindPacketCase(packetId, now.Version);
  }
  const std::int32_t length = FramedLength(connection, now.Case, now.Version);
  ReceiveState& receive = connection.Receive;
  const std::int32_t held = std::min(connection.RecvLength, kBufferSize);
  // A length of 0 or less would leave the same bytes at the head for every
  // later tick, and a packet longer than what is held cannot be cut from it:
  // either way everything buffered goes. A packet longer than the buffer
  // can ever hold has its rest skipped as it arrives.
  auto* bytes = connection.RecvBuffer.data();
  if (length <= 0 || length >= held) {
    if (length > kBufferSize) receive.SkipLength = length - held;
    connection.RecvLength = 0;
  } else {
    std::move(bytes + length, bytes + held, bytes);
    connection.RecvLength = held - length;
  }
  // Bytes never received read as zero, never as an earlier packet's.
  std::fill(bytes + connection.RecvLength, bytes + held, std::uint8_t{0});
  receive.Told = std::max(0, receive.Told - (held - connection.RecvLength));
  // The handler never frames a map login that waits for its version; framed
  // all the same, it waits with what is left of it.
  receive.DetectionBytes = std::min(receive.DetectionBytes, connection.RecvLength);
}

const VersionEntry* ConnectionVersion(const ProtocolHost& host,
                                      const ConnectionRecord& connection) {
  return FindVersion(host.PacketDatabase(), connection.PacketVersion);
}

void SendReply(ProtocolHost& host, ConnectionRecord& connection, const PacketBuffer& buffer,
               std::int32_t length) {
  host.SendToConnection(connection, buffer.data(), std::clamp(length, 0, kBufferSize),
                        FindServerPacket(static_cast<std::uint16_t>(ReadInt16(buffer, 0))));
}

std::int32_t SendToMap(ProtocolHost& host, const PacketBuffer& buffer, std::int32_t length) {
  return host.SendToMapConnections(
      buffer.data(), std::clamp(length, 0, kBufferSize),
      FindServerPacket(static_cast<std::uint16_t>(ReadInt16(buffer, 0))));
}

void SendAccountEcho(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch,
                     std::int32_t accountId) {
  WriteInt32(scratch, 0, static_cast<std::uint32_t>(accountId));
  host.SendToConnection(connection, scratch.data(), 4, &kAccountEcho);
}

void TellMilestone(ProtocolHost& host, ConnectionRecord& connection, Milestone step) {
  const auto bit = static_cast<std::uint8_t>(1u << static_cast<unsigned>(step));
  const bool first = (connection.Reached & bit) == 0;
  connection.Reached = static_cast<std::uint8_t>(connection.Reached | bit);
  host.Emit(
      {.Kind = EventKind::kMilestone, .Connection = &connection, .Step = step, .FirstTime = first});
}

void ServerCloses(ProtocolHost& host, ConnectionRecord& connection) {
  DropReceived(host, connection, kDroppedAfterClose);
  host.CloseConnection(connection);
}

void WriteServerEndpoint(PacketBuffer& buffer, std::int32_t offset, const Endpoint& server) {
  std::uint8_t address[4];
  StoreBig32(address, server.Address);
  for (std::int32_t i = 0; i < 4; ++i) WriteByte(buffer, offset + i, address[i]);
  WriteInt16(buffer, offset + 4, server.Port);
}

}  // namespace quib
