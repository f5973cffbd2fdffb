// The socket layer's backend on Windows Sockets (Windows).
//
// Socket handles travel as 32-bit values: Windows hands out small handle
// numbers, and one that does not fit is closed rather than kept.
#include <winsock2.h>

#include <array>
#include <vector>

#include "net/socket_backend.h"
#include "platform/text_win32.h"

namespace quib::backend {

namespace {

SOCKET Native(SocketHandle socket) {
  return static_cast<SOCKET>(static_cast<std::uint32_t>(socket));
}

// A socket the system made, non-blocking, as the layer's handle; one that
// does not fit 32 bits is closed instead. (An accepted socket is non-blocking
// already, as its listener is, and may carry the listener's WSAAsyncSelect,
// which the call leaves alone.)
SocketHandle Handle(SOCKET socket) {
  if (socket > 0x7FFFFFFF) {
    ::closesocket(socket);
    return kInvalidSocket;
  }
  u_long nonBlocking = 1;
  // FIONBIO is an unsigned request code that ioctlsocket takes as a long.
  ::ioctlsocket(socket, static_cast<long>(FIONBIO), &nonBlocking);
  return static_cast<SocketHandle>(socket);
}

// The accepted sockets FindReadable asks about, from accept to close.
std::vector<WSAPOLLFD> g_watch;

}  // namespace

bool Start(std::string& description) {
  WSADATA data{};
  // Version 1.1 is all the server needs.
  if (::WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
  description = data.szDescription;
  return true;
}

void Stop() {
  g_watch.clear();
  ::WSACleanup();
}

SocketHandle Listen(const sockaddr_in& local, std::int32_t backlog, int& error, const char*& call) {
  call = "socket";
  const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket == INVALID_SOCKET) {
    error = ::WSAGetLastError();
    return kInvalidSocket;
  }
  // No other socket, of this program or another, may take the port while the
  // server listens on it (SO_REUSEADDR would allow just that here).
  const BOOL exclusive = TRUE;
  ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  call = "bind";
  bool listening = ::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
  if (listening) {
    call = "listen";
    listening = ::listen(socket, backlog) == 0;
  }
  if (!listening) {
    error = ::WSAGetLastError();
    ::closesocket(socket);
    return kInvalidSocket;
  }
  return Handle(socket);
}

std::int32_t Relisten(SocketHandle listener, std::int32_t backlog) {
  return ::listen(Native(listener), backlog) == 0 ? 0 : kSocketError;
}

std::int32_t LargestBacklog() { return SOMAXCONN; }

SocketHandle Accept(SocketHandle listener, sockaddr_in& peer) {
  int length = sizeof peer;
  const SOCKET socket = ::accept(Native(listener), reinterpret_cast<sockaddr*>(&peer), &length);
  if (socket == INVALID_SOCKET) return kInvalidSocket;
  const BOOL noDelay = TRUE;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
  const SocketHandle handle = Handle(socket);
  if (handle != kInvalidSocket) g_watch.push_back({Native(handle), POLLRDNORM, 0});
  return handle;
}

bool FindReadable(std::size_t, std::vector<SocketHandle>& readable) {
  if (g_watch.empty()) return true;
  int ready = ::WSAPoll(g_watch.data(), static_cast<ULONG>(g_watch.size()), 0);
  if (ready == SOCKET_ERROR) return false;
  // A closed or reset connection says POLLHUP or POLLERR, with or without
  // POLLRDNORM.
  for (std::size_t i = 0; i < g_watch.size() && ready > 0; ++i) {
    if (g_watch[i].revents == 0) continue;
    readable.push_back(static_cast<SocketHandle>(g_watch[i].fd));
    --ready;
  }
  return true;
}

std::int32_t Receive(SocketHandle socket, std::uint8_t* buffer, std::int32_t length, int& error) {
  const int n = ::recv(Native(socket), reinterpret_cast<char*>(buffer), length, 0);
  if (n == SOCKET_ERROR) error = ::WSAGetLastError();
  return n == SOCKET_ERROR ? kSocketError : n;
}

std::int32_t Send(SocketHandle socket, const std::uint8_t* buffer, std::int32_t length,
                  int& error) {
  const int n = ::send(Native(socket), reinterpret_cast<const char*>(buffer), length, 0);
  if (n == SOCKET_ERROR) error = ::WSAGetLastError();
  return n == SOCKET_ERROR ? kSocketError : n;
}

std::int32_t Close(SocketHandle socket) {
  std::erase_if(g_watch,
                [socket](const WSAPOLLFD& watched) { return watched.fd == Native(socket); });
  return ::closesocket(Native(socket)) == 0 ? 0 : kSocketError;
}

std::int32_t Abort(SocketHandle socket) {
  const linger now{.l_onoff = 1, .l_linger = 0};
  ::setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&now),
               sizeof now);
  return Close(socket);
}

std::int32_t LocalAddress(SocketHandle socket, sockaddr_in& address) {
  int length = sizeof address;
  return ::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0
             ? 0
             : kSocketError;
}

std::span<const ErrorMeaning> ErrorMeanings() {
  static constexpr std::array<ErrorMeaning, 8> kMeanings{{
      {WSAEWOULDBLOCK, SocketError::kWouldBlock},
      {WSAEINTR, SocketError::kWouldBlock},
      {WSAECONNRESET, SocketError::kReset},
      {WSAECONNABORTED, SocketError::kReset},
      {WSAESHUTDOWN, SocketError::kReset},
      {WSAEADDRINUSE, SocketError::kAddressInUse},
      // An exclusive listener of another program makes bind answer "access
      // denied" rather than "in use".
      {WSAEACCES, SocketError::kAddressInUse},
      {WSAEADDRNOTAVAIL, SocketError::kAddressNotAvailable},
  }};
  return kMeanings;
}

std::string ErrorText(int code) { return SystemErrorText(static_cast<unsigned long>(code)); }

}  // namespace quib::backend
