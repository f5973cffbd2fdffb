#include "app/connections.h"

#include "app/main_window.h"

namespace quib {

bool IsLoginOrCharacterPacket(std::uint16_t) { return false; }  // STUB
std::int32_t Form1::ConnectionCount() const { return static_cast<std::int32_t>(ConnectionTable.size()); }
void Form1::AcceptPending() {}  // STUB
void Form1::PollConnections() {}  // STUB
void Form1::ReceiveFromConnection(ConnectionRecord&) {}  // STUB
void Form1::RemoveConnection(SocketHandle) {}  // STUB
void Form1::SendToMapConnections(const std::uint8_t*, std::int32_t) {}  // STUB

}  // namespace quib
