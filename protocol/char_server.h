// The character role: nine ready-made characters, no creating or deleting, and
// on select the way to the map server with the map name from the window.
#pragma once

#include "protocol/packet_buffer.h"

namespace quib {

class ProtocolHost;
struct ConnectionRecord;

void HandleCharServerMarker(ProtocolHost& host, ConnectionRecord& connection,
                            PacketBuffer& scratch);  // kCharServerMarker
// A refused connect closes the connection, and its buffer with it.
void HandleCharServerConnect(ProtocolHost& host, ConnectionRecord& connection,
                             PacketBuffer& scratch);  // kCharConnect
void HandleCharacterDelete(ProtocolHost& host, ConnectionRecord& connection,
                           PacketBuffer& scratch);  // kCharacterDelete
void HandleCharacterCreate(ProtocolHost& host, ConnectionRecord& connection,
                           PacketBuffer& scratch);  // kCharacterCreate
void HandleCharacterSelect(ProtocolHost& host, ConnectionRecord& connection,
                           PacketBuffer& scratch);  // kCharacterSelect

}  // namespace quib
