#include "net/socket_layer.h"

namespace quib {

bool WinsockStarted() { return false; }  // STUB
bool SocketStartup(std::string&) { return false; }  // STUB
SocketHandle ListenOn(std::int32_t, sockaddr_in&) { return kInvalidSocket; }  // STUB
void SocketCleanup() {}  // STUB
SocketHandle AcceptConnection(SocketHandle, sockaddr_in&) { return kInvalidSocket; }  // STUB
std::int32_t ReceiveBytes(SocketHandle, std::uint8_t*, std::int32_t) { return -1; }  // STUB
std::int32_t SendBytes(SocketHandle, const std::uint8_t*, std::int32_t) { return -1; }  // STUB
std::int32_t CloseSocket(SocketHandle) { return -1; }  // STUB
std::int32_t GetSockName(SocketHandle, sockaddr_in&) { return -1; }  // STUB
std::uint32_t LoopbackAddress() { return 0; }  // STUB

}  // namespace quib
