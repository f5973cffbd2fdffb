// The map role: entering the map, the loaded-map status packets, ticks,
// walking, chat, emotions, the user count and restart.
#pragma once

#include <cstdint>
#include <string_view>

#include "packetdb/packet_database.h"
#include "protocol/packet_buffer.h"

namespace quib {

class ProtocolHost;
struct ConnectionRecord;

void HandleMapLogin(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleMapLoaded(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleTick(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleChat(ProtocolHost& host, ConnectionRecord& connection, const VersionEntry& version,
                PacketBuffer& scratch);
void HandleEmotion(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleSndOriDori(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleWalk(ProtocolHost& host, ConnectionRecord& connection, const VersionEntry& version,
                PacketBuffer& scratch);
void HandleUserCount(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleRestart(ProtocolHost& host, ConnectionRecord& connection, const VersionEntry& version,
                   PacketBuffer& scratch);

// One system chat line to one connection, only when it is in the map.
void SendSystemMessage(ProtocolHost& host, ConnectionRecord& connection, std::string_view text);

// Decodes a 3-byte packed cell, the inverse of WritePosition.
void ReadPosition(const PacketBuffer& buffer, std::int32_t offset, std::int32_t& x,
                  std::int32_t& y);

}  // namespace quib
