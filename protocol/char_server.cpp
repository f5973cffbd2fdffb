#include "protocol/char_server.h"

namespace quib {

void HandleCharServerMarker(Form1&, ConnectionRecord&) {}  // STUB
bool HandleCharServerConnect(Form1&, ConnectionRecord&, PacketBuffer&) { return true; }  // STUB
void HandleCharacterDelete(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB
void HandleCharacterCreate(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB
void HandleCharacterSelect(Form1&, ConnectionRecord&, PacketBuffer&) {}  // STUB

}  // namespace quib
