// The packet cases: one row per packet the server knows, read by dispatch,
// framing, the capture's comments and the receive step's login and
// character list. A row is known by a fixed id or by a member of the packet
// database's version entry; rows are tested in order and the first match
// wins, so an id that a version shares with a fixed id goes to whichever row
// comes first. Adding a packet is adding a row.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "packetdb/packet_database.h"
#include "protocol/packet_buffer.h"

namespace quib {

class ProtocolHost;
struct ConnectionRecord;

// How a case's length is known.
enum class LengthRule : std::uint8_t {
  kFixed,      // the row's own length
  kEntry,      // the Length of the version's entry
  kChatField,  // the unsigned 16-bit field at offset 2: the whole packet, head included
};

// The role a case belongs to. Login and character packets never say which
// map version a client speaks.
enum class PacketRole : std::uint8_t { kLogin, kCharacter, kMap };

// Every case's branch. It may empty the connection's buffer itself (a closed
// connection, an unknown id); framing then finds nothing to remove.
using PacketHandlerFunction = void (*)(ProtocolHost& host, ConnectionRecord& connection,
                                       PacketBuffer& scratch);

struct PacketCase {
  std::uint16_t Id;                  // the fixed id; unused when Entry is set
  PacketEntry VersionEntry::*Entry;  // the database member, or nullptr
  LengthRule Length;
  std::int32_t FixedLength;  // for LengthRule::kFixed
  const char* Name;          // as the capture and the dissector name it
  PacketRole Role;
  PacketHandlerFunction Handle;  // nullptr: taken and ignored
};

// Every case, in the order they are tested.
std::span<const PacketCase> PacketCases();

// The first case for `id` under `version`, or nullptr for an id no case
// knows. Without a version entry only the fixed ids match.
const PacketCase* FindPacketCase(std::uint16_t id, const VersionEntry* version);

// The length of a packet of `packetCase` at the head of `buffer`; 0 or below
// when it cannot be framed.
std::int32_t CaseLength(const PacketCase& packetCase, const VersionEntry* version,
                        const PacketBuffer& buffer);

// The chat's length: the unsigned 16-bit field at offset 2, which counts the
// whole packet, its 4-byte head included; a field below 4 frames the head
// alone. Framing and the chat's reply read it alike.
std::int32_t ChatLength(const PacketBuffer& buffer);

// The bytes of a packet that tell its length: its id, and the chat's length
// field.
std::int32_t CaseHeadLength(const PacketCase& packetCase);

// How the server reads a packet of `id` on `connection`, for the capture, in
// the names the dissector gives: "0x0064 Login request", "0x0085 Walk, packet
// version 5", "0x0000 Ignored", or "0x0436 Unknown packet: " and its log line.
std::string PacketCaseComment(const ConnectionRecord& connection, std::uint16_t id,
                              const PacketCase* packetCase);

}  // namespace quib
