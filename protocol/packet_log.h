// The packet log: the lines the protocol appends to List1, and the branch for
// packets no case knows.
#pragma once

#include <cstdint>
#include <string>

namespace quib {

class Form1;
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

// Logs "Unknown Packet (0x..) - peer" unless Check1 is checked, and keeps the
// bytes behind the line; then drops everything buffered on the connection.
void HandleUnknownPacket(Form1& form, ConnectionRecord& connection, std::uint16_t packetId);

// "Clear Log": empties List1, and the bytes kept behind its lines.
void ClearLog(Form1& form);

}  // namespace quib
