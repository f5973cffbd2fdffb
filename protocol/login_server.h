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

// The login pre-requests (kLoginPreRequest, kLoginHashPreRequest): logged only.
void HandleLoginPreRequest(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);

// The login requests (kLoginRequest, kLoginHashRequest): replies with the
// server list (kServerList) and closes the connection.
void HandleLoginRequest(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);

}  // namespace quib
