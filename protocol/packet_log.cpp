// The packet log: every line names its client by peer hex, the IPv4 address
// in host order as uppercase hex without leading zeros.
#include "protocol/packet_log.h"

#include <algorithm>

#include "protocol/connection_events.h"
#include "protocol/connection_record.h"
#include "protocol/packet_descriptions.h"
#include "protocol/protocol_host.h"
#include "protocol/receive_path.h"

namespace quib {

namespace {

std::string UpperHex(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return text;
}

std::string MilestoneLine(Milestone step, const ConnectionRecord& connection) {
  switch (step) {
    case Milestone::kPreLogin:
      return "LoginReQ - " + PeerHex(connection) + " - (" + ReceivedBytesDump(connection) + ")";
    case Milestone::kLogin:
      return "CharSvrReq - " + PeerHex(connection);
    case Milestone::kCharacters:
      return "CharactersReq - " + PeerHex(connection);
    case Milestone::kSelect:
      return "Character Select: " + std::to_string(connection.CharSlot) + " - " +
             PeerHex(connection);
    case Milestone::kMap:
      return PeerHex(connection) +
             "- Map: PacketVersion = " + std::to_string(connection.PacketVersion);
    case Milestone::kLoaded:
      break;
  }
  return {};
}

}  // namespace

std::string PeerHex(const ConnectionRecord& connection) {
  return UpperHex(EndpointOf(connection.PeerAddress).Address);
}

std::string ReceivedBytesDump(const ConnectionRecord& connection) {
  return HexDump(connection.RecvBuffer, 2, 18);
}

std::string UnknownPacketLine(const ConnectionRecord& connection, std::uint16_t packetId) {
  return "Unknown Packet (0x" + UpperHex(packetId) + ") - " + PeerHex(connection);
}

std::string ShortPacketLine(const ConnectionRecord& connection, std::uint16_t packetId,
                            std::int32_t held, std::int32_t length) {
  return "Short Packet (0x" + UpperHex(packetId) + ") - " + PeerHex(connection) + ": " +
         std::to_string(held) + " of " + std::to_string(length) + " bytes";
}

std::string DesignedLine(const ConnectionEvent& event) {
  if (event.Connection == nullptr) return {};
  const ConnectionRecord& connection = *event.Connection;
  switch (event.Kind) {
    case EventKind::kMilestone:
      return MilestoneLine(event.Step, connection);
    case EventKind::kDetectFailed:
      // The dump shows the whole buffer from offset 2: when data was already
      // held it leads the dump.
      return PeerHex(connection) + " - (" + ReceivedBytesDump(connection) +
             "), Unable To Determine Packet Version, results may be incomplete.";
    case EventKind::kUnknown:
      return UnknownPacketLine(connection, event.Id);
    case EventKind::kShortPacket:
      return ShortPacketLine(connection, event.Id, connection.RecvLength, event.Length);
    case EventKind::kFault:
      return std::string(event.Text) + " - " + PeerHex(connection);
    case EventKind::kTextCut:
      return "Chat Text Cut (0x" + UpperHex(event.Id) + ") - " + PeerHex(connection) + ": " +
             std::to_string(event.Bytes.size()) + " of " + std::to_string(event.Length) + " bytes";
    default:
      return {};
  }
}

bool HiddenWithUnknownPackets(const ConnectionEvent& event) {
  return event.Kind == EventKind::kUnknown || event.Kind == EventKind::kShortPacket ||
         event.Kind == EventKind::kTextCut;
}

void HandleUnknownPacket(ProtocolHost& host, ConnectionRecord& connection, std::uint16_t packetId) {
  // Everything buffered goes with the packet: that is what it looked like.
  host.Emit({.Kind = EventKind::kUnknown,
             .Connection = &connection,
             .Bytes = {connection.RecvBuffer.data(),
                       static_cast<std::size_t>(std::max(connection.RecvLength, 0))},
             .Id = packetId});
  DropReceived(host, connection, kDroppedBehindUnknown);
}

}  // namespace quib
