// Packet version detection: the map login packet's id and the size of the read
// that brought it tell the client's packet version.
#pragma once

#include <cstdint>

namespace quib {

class Form1;
struct ConnectionRecord;

// Sets `connection.PacketVersion` from the detection table, or appends the
// "Unable To Determine Packet Version" line to the log and leaves it unchanged.
void DetectPacketVersion(Form1& form, ConnectionRecord& connection, std::int32_t packetId,
                         std::int32_t bytesReceived);

}  // namespace quib
