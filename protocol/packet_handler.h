// The packet handler: routes the packet at the head of a connection's receive
// buffer by its id to the first packet case that matches (packet_cases.h), and
// removes it by that case's length. The login, character and map roles all
// come through here.
#pragma once

#include <cstdint>

#include "net/socket_types.h"
#include "packetdb/packet_database.h"
#include "protocol/connection_events.h"
#include "protocol/packet_buffer.h"

namespace quib {

class ProtocolHost;
struct ConnectionRecord;
struct PacketCase;

// Handles one packet from the head of `connection.RecvBuffer`, then consumes
// it. A packet not yet whole waits for its rest while the last receive
// brought bytes, and a map login while its version is being told; a short
// packet handled with what it holds is told first.
void HandlePacket(ProtocolHost& host, ConnectionRecord& connection);

// Removes the packet with id `packetId` from the head of the buffer.
void ConsumePacket(ProtocolHost& host, ConnectionRecord& connection, std::uint16_t packetId);

// What HandlePacket framed a packet by: the connection's packet version
// then, its entries and the packet's case.
struct Framing {
  std::int32_t PacketVersion = 0;
  const VersionEntry* Version = nullptr;
  const PacketCase* Case = nullptr;
};

// The same, told how HandlePacket framed it: looked up again only if the
// branch changed the connection's packet version.
void ConsumePacket(ProtocolHost& host, ConnectionRecord& connection, std::uint16_t packetId,
                   const Framing& framed);

// The packet entries of the connection's version, or nullptr when the table
// has no entry for it; then no named case matches.
const VersionEntry* ConnectionVersion(const ProtocolHost& host, const ConnectionRecord& connection);

// Sends the first `length` bytes of `buffer` to the connection.
void SendReply(ProtocolHost& host, ConnectionRecord& connection, const PacketBuffer& buffer,
               std::int32_t length);

// Sends the first `length` bytes of `buffer` to every connection in the map;
// returns how many it went to.
std::int32_t SendToMap(ProtocolHost& host, const PacketBuffer& buffer, std::int32_t length);

// The 4 bytes of account id, with no packet id, that come before the
// character list and the map login's reply.
// Written into `scratch`, as every reply is.
void SendAccountEcho(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch,
                     std::int32_t accountId);

// A step of the connection's road: it is marked as reached and told.
void TellMilestone(ProtocolHost& host, ConnectionRecord& connection, Milestone step);

// The server ends a connection itself: what it still had buffered is dropped,
// and its socket closed. The record stays.
void ServerCloses(ProtocolHost& host, ConnectionRecord& connection);

// The 6-byte endpoint that sends a client on to the next role: the IPv4
// address in network byte order, then the port as a little-endian 16-bit value.
void WriteServerEndpoint(PacketBuffer& buffer, std::int32_t offset, const Endpoint& server);

}  // namespace quib
