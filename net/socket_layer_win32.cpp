// The socket layer on Windows Sockets (Windows).
//
// Socket handles travel as 32-bit values: Windows hands out small handle
// numbers, and the layer refuses any it did not open itself.
#include <winsock2.h>

#include <set>

#include "net/socket_layer.h"

namespace quib {

namespace {

bool g_started = false;
SocketError g_lastError = SocketError::kNone;
// Every socket this layer opened and has not closed.
std::set<SocketHandle> g_open;

bool IsOpen(SocketHandle socket) { return g_open.count(socket) != 0; }

SOCKET Native(SocketHandle socket) {
  return static_cast<SOCKET>(static_cast<std::uint32_t>(socket));
}

std::int32_t Failed(SocketError error) {
  g_lastError = error;
  return kSocketError;
}

SocketError FromWsaError(int error) {
  if (error == WSAEWOULDBLOCK || error == WSAEINTR) return SocketError::kWouldBlock;
  if (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN) {
    return SocketError::kReset;
  }
  if (error == WSAEADDRINUSE) return SocketError::kAddressInUse;
  if (error == WSAEADDRNOTAVAIL) return SocketError::kAddressNotAvailable;
  return SocketError::kOther;
}

// Takes a socket the system made into the layer's keeping, non-blocking; a
// handle that does not fit 32 bits is closed instead. (An accepted socket is
// non-blocking already, as its listener is, and may carry the listener's
// WSAAsyncSelect, which the call leaves alone.)
SocketHandle Keep(SOCKET socket) {
  if (socket > 0x7FFFFFFF) {
    ::closesocket(socket);
    return kInvalidSocket;
  }
  u_long nonBlocking = 1;
  // FIONBIO is an unsigned request code that ioctlsocket takes as a long.
  ::ioctlsocket(socket, static_cast<long>(FIONBIO), &nonBlocking);
  const auto handle = static_cast<SocketHandle>(socket);
  g_open.insert(handle);
  return handle;
}

}  // namespace

bool WinsockStarted() { return g_started; }

SocketError LastSocketError() { return g_lastError; }

bool SocketStartup(std::string& description) {
  if (g_started) return true;
  WSADATA data{};
  // Version 1.1 is all the server needs.
  if (::WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
  g_started = true;
  description = data.szDescription;
  return true;
}

std::uint32_t LoopbackAddress() { return htonl(INADDR_LOOPBACK); }

SocketHandle ListenOn(std::int32_t port, std::uint32_t bindAddress, sockaddr_in& address,
                      std::int32_t backlog) {
  sockaddr_in local;
  if (!MakeListenAddress(port, bindAddress, local) || !g_started) {
    return Failed(SocketError::kOther);
  }

  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket == INVALID_SOCKET) return Failed(FromWsaError(::WSAGetLastError()));
  // No other socket, of this program or another, may take the port while the
  // server listens on it (SO_REUSEADDR would allow just that here).
  const BOOL exclusive = TRUE;
  ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(socket, backlog) != 0) {
    const int error = ::WSAGetLastError();
    ::closesocket(socket);
    // An exclusive listener of another program makes bind answer "access
    // denied" rather than "in use".
    return Failed(error == WSAEACCES ? SocketError::kAddressInUse : FromWsaError(error));
  }
  const SocketHandle handle = Keep(socket);
  if (handle != kInvalidSocket) address = local;
  return handle;
}

std::int32_t LargestBacklog() { return SOMAXCONN; }

bool SetListenBacklog(SocketHandle listener, std::int32_t backlog) {
  return IsOpen(listener) && ::listen(Native(listener), backlog) == 0;
}

void SocketCleanup() {
  for (SocketHandle socket : g_open) ::closesocket(Native(socket));
  g_open.clear();
  if (g_started) ::WSACleanup();
  g_started = false;
}

SocketHandle AcceptConnection(SocketHandle listener, sockaddr_in& peer) {
  if (!IsOpen(listener)) return kInvalidSocket;
  sockaddr_in from{};
  int length = sizeof from;
  const SOCKET socket = ::accept(Native(listener), reinterpret_cast<sockaddr*>(&from), &length);
  if (socket == INVALID_SOCKET) return kInvalidSocket;
  const SocketHandle handle = Keep(socket);
  if (handle != kInvalidSocket) peer = from;
  return handle;
}

std::int32_t ReceiveBytes(SocketHandle socket, std::uint8_t* buffer, std::int32_t length) {
  if (!IsOpen(socket) || length < 0) return Failed(SocketError::kOther);
  const int n = ::recv(Native(socket), reinterpret_cast<char*>(buffer), length, 0);
  if (n == SOCKET_ERROR) return Failed(FromWsaError(::WSAGetLastError()));
  return n;
}

std::int32_t SendBytes(SocketHandle socket, const std::uint8_t* buffer, std::int32_t length) {
  if (!IsOpen(socket) || length < 0) return Failed(SocketError::kOther);
  const int n = ::send(Native(socket), reinterpret_cast<const char*>(buffer), length, 0);
  if (n == SOCKET_ERROR) return Failed(FromWsaError(::WSAGetLastError()));
  return n;
}

bool IsSocketOpen(SocketHandle socket) { return IsOpen(socket); }

std::int32_t CloseSocket(SocketHandle socket) {
  if (g_open.erase(socket) == 0) return kSocketError;
  return ::closesocket(Native(socket)) == 0 ? 0 : kSocketError;
}

std::int32_t GetSockName(SocketHandle socket, sockaddr_in& address) {
  if (!IsOpen(socket)) return kSocketError;
  sockaddr_in local{};
  int length = sizeof local;
  if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    return kSocketError;
  }
  address = local;
  return 0;
}

}  // namespace quib
