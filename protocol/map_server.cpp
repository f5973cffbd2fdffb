#include "protocol/map_server.h"

namespace quib {

void HandleMapLogin(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB
void HandleMapLoaded(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB
void HandleTick(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB
void HandleChat(Form1&, ConnectionRecord&, const VersionEntry&, PacketBuffer&) {}  // STUB
void HandleEmotion(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB
void HandleSndOriDori(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB
void HandleWalk(Form1&, ConnectionRecord&, const VersionEntry&, PacketBuffer&) {}  // STUB
void HandleUserCount(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB
void HandleRestart(Form1&, ConnectionRecord&, const VersionEntry&, PacketBuffer&) {}  // STUB
void SendSystemMessage(const ConnectionRecord&, std::string_view) {}  // STUB
void ReadPosition(const PacketBuffer&, std::int32_t, std::int32_t& x, std::int32_t& y) {  // STUB
  x = y = 0;
}

}  // namespace quib
