// The packet log: the designed lines, each told by an event of the stream,
// and the branch for packets no case knows.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/connection_events.h"

namespace quib {

class ProtocolHost;
struct ConnectionRecord;

// The peer's IPv4 address in host order as uppercase hex without leading zeros:
// 127.0.0.1 gives 7F000001.
std::string PeerHex(const ConnectionRecord& connection);

// Bytes 2 to 17 of the receive buffer as 32 hex digits.
std::string ReceivedBytesDump(const ConnectionRecord& connection);

// "Unknown Packet (0x..) - peer".
std::string UnknownPacketLine(const ConnectionRecord& connection, std::uint16_t packetId);

// "Short Packet (0x85) - peer: 3 of 5 bytes": a packet handled with fewer
// bytes than its length, because no more came.
std::string ShortPacketLine(const ConnectionRecord& connection, std::uint16_t packetId,
                            std::int32_t held, std::int32_t length);

// The kinds that have a designed log line; the stream spares the log the
// others.
inline constexpr EventKinds kDesignedLineKinds =
    KindsOf({EventKind::kMilestone, EventKind::kDetectFailed, EventKind::kUnknown,
             EventKind::kShortPacket, EventKind::kFault, EventKind::kTextCut});

// The designed log line that tells `event`, read when it happens (the
// connection's buffer and fields as they are then); empty for an event the
// log does not show.
std::string DesignedLine(const ConnectionEvent& event);

// True for the lines that "Hide Unknown Packets" keeps out of the log: the
// unknown packets, and the packets handled short or cut.
bool HiddenWithUnknownPackets(const ConnectionEvent& event);

// Tells the unknown packet, with everything buffered behind it, then drops
// it all: nothing behind an unknown id can be framed.
void HandleUnknownPacket(ProtocolHost& host, ConnectionRecord& connection, std::uint16_t packetId);

}  // namespace quib
