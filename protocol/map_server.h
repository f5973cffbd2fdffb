// The map role: entering the map, the loaded-map status packets, ticks,
// walking, chat, emotions, the user count and restart.
#pragma once

#include <cstdint>
#include <string_view>

#include "packetdb/packet_database.h"
#include "protocol/packet_buffer.h"

namespace quib {

class Form1;
struct ConnectionRecord;

void HandleMapLogin(Form1& form, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleMapLoaded(Form1& form, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleTick(Form1& form, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleChat(Form1& form, ConnectionRecord& connection, const VersionEntry& version,
                PacketBuffer& scratch);
void HandleEmotion(Form1& form, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleSndOriDori(Form1& form, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleWalk(Form1& form, ConnectionRecord& connection, const VersionEntry& version,
                PacketBuffer& scratch);
void HandleUserCount(Form1& form, ConnectionRecord& connection, PacketBuffer& scratch);
void HandleRestart(Form1& form, ConnectionRecord& connection, const VersionEntry& version,
                   PacketBuffer& scratch);

// One system chat line to one connection, only when it is in the map.
void SendSystemMessage(Form1& form, ConnectionRecord& connection, std::string_view text);

// Decodes a 3-byte packed cell, the inverse of WritePosition.
void ReadPosition(const PacketBuffer& buffer, std::int32_t offset, std::int32_t& x,
                  std::int32_t& y);

}  // namespace quib
