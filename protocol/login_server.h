// The login role: any login is accepted with a fixed account and a server list
// of one server, this same listening endpoint.
#pragma once

#include <cstdint>

#include "protocol/packet_buffer.h"

namespace quib {

// The one account every login is given; the map server echoes it back.
inline constexpr std::int32_t kAccountId = 2000000;

class ProtocolHost;
struct ConnectionRecord;

// 0x0200, 0x0204: logged only.
void HandleLoginPreRequest(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);

// 0x0064, 0x01DD: replies 0x0069 and closes the connection.
void HandleLoginRequest(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);

}  // namespace quib
