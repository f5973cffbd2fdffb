// The receive path: what happens to the bytes one receive brings, before
// they are handled as packets. A packet longer than the buffer has its rest
// skipped as it arrives; a map login is held until its packet version can be
// told, from the bytes the client sent since detection was due; and a packet
// whose rest is still coming waits at the head of the buffer (see
// HandlePacket) while receives keep bringing bytes.
#pragma once

#include <cstdint>
#include <string_view>

namespace quib {

class ProtocolHost;
struct ConnectionRecord;

// True for the ids that the login and character roles handle: a first packet
// with one of these never runs version detection.
bool IsLoginOrCharacterPacket(std::uint16_t id);

// True while the connection's next bytes are to tell its packet version:
// its first data, its first after the character server asked for it, a map
// login still coming. Until then PacketVersion is not the one it speaks.
bool DetectionDue(const ConnectionRecord& connection);

// Takes the `n` bytes one receive put at offset RecvLength of the
// connection's buffer: skipped when they are the rest of a packet too long
// to hold, counted in, then version detection when it is due. 0 when this
// tick's receive brought nothing: a map login still waiting for its rest is
// then told with what came.
void TakeReceivedBytes(ProtocolHost& host, ConnectionRecord& connection, std::int32_t n);

// True once no byte has come for a whole tick interval, by the clock: only
// then is a packet that is not whole handled with what came. A tick that
// follows an accept's wait closely is not a quiet one.
bool IsQuiet(const ProtocolHost& host, const ConnectionRecord& connection);

// Drops everything the connection has buffered; the bytes no event has told
// yet are told as dropped, for `why`.
void DropReceived(ProtocolHost& host, ConnectionRecord& connection, std::string_view why);

// A new connection on the record: none of an earlier connection's traffic
// stays, and its version detection starts as on a fresh record (a
// re-detection an earlier connection asked for is its own).
void StartReceiving(ConnectionRecord& connection);

}  // namespace quib
