// The character role: nine ready-made characters, no creating or deleting, and
// on select the way to the map server with the map name from the window.
#pragma once

#include "protocol/packet_buffer.h"

namespace quib {

class ProtocolHost;
struct ConnectionRecord;

void HandleCharServerMarker(ProtocolHost& host, ConnectionRecord& connection,
                            PacketBuffer& scratch);  // 0x020B
// A refused connect closes the connection, and its buffer with it.
void HandleCharServerConnect(ProtocolHost& host, ConnectionRecord& connection,
                             PacketBuffer& scratch);  // 0x0065
void HandleCharacterDelete(ProtocolHost& host, ConnectionRecord& connection,
                           PacketBuffer& scratch);  // 0x0068
void HandleCharacterCreate(ProtocolHost& host, ConnectionRecord& connection,
                           PacketBuffer& scratch);  // 0x0067
void HandleCharacterSelect(ProtocolHost& host, ConnectionRecord& connection,
                           PacketBuffer& scratch);  // 0x0066

}  // namespace quib
