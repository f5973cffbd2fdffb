// The packet cases: one row per packet of the client that the server knows,
// read by dispatch, framing, the capture's comments and the receive step's
// login and character list. Each row is that packet's description
// (packet_descriptions.h, where packets are added) with its branch. A row is
// known by a fixed id or by a member of the packet database's version entry;
// rows are tested in order and the first match wins, so an id that a version
// shares with a fixed id goes to whichever row comes first.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "packetdb/packet_database.h"
#include "protocol/packet_buffer.h"
#include "protocol/packet_descriptions.h"

namespace quib {

class ProtocolHost;
struct ConnectionRecord;

// Every case's branch. It may empty the connection's buffer itself (a closed
// connection, an unknown id); framing then finds nothing to remove.
using PacketHandlerFunction = void (*)(ProtocolHost& host, ConnectionRecord& connection,
                                       PacketBuffer& scratch);

// A packet's description (Id, Entry, Length, Name, Role, ...) and its branch.
struct PacketCase : PacketDescription {
  PacketHandlerFunction Handle = nullptr;  // nullptr: taken and ignored
};

// Every case, in the order they are tested.
std::span<const PacketCase> PacketCases();

// The first case for `id` under `version`, or nullptr for an id no case
// knows. Without a version entry only the fixed ids match.
const PacketCase* FindPacketCase(std::uint16_t id, const VersionEntry* version);

// The length of a packet of `packet` at the head of `buffer`; 0 or below
// when it cannot be framed.
std::int32_t CaseLength(const PacketDescription& packet, const VersionEntry* version,
                        const PacketBuffer& buffer);

// The length a packet's length field tells: the unsigned 16-bit field at
// offset 2, which counts the whole packet, its 4-byte head included; a field
// below 4 frames the head alone. Framing and the chat's reply read it alike.
std::int32_t LengthField(const PacketBuffer& buffer);

// The bytes of a packet that tell its length: its id, and a length field.
std::int32_t CaseHeadLength(const PacketDescription& packet);

// How the server reads a packet of `id` on `connection`, for the capture, in
// the names the dissector gives: "0x0064 Login request", "0x0085 Walk, packet
// version 5", "0x0000 Ignored", or "0x0436 Unknown packet: " and its log line.
std::string PacketCaseComment(const ConnectionRecord& connection, std::uint16_t id,
                              const PacketCase* packetCase);

}  // namespace quib
