// The socket layer on BSD sockets (Linux).
#include <arpa/inet.h>
#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

#include "net/socket_layer.h"

namespace quib {

namespace {

bool g_started = false;
SocketError g_lastError = SocketError::kNone;
// Every socket this layer opened and has not closed.
std::set<SocketHandle> g_open;

bool IsOpen(SocketHandle socket) { return g_open.count(socket) != 0; }

std::int32_t Failed(SocketError error) {
  g_lastError = error;
  return kSocketError;
}

SocketError FromErrno(int error) {
  // EAGAIN and EWOULDBLOCK are one value on Linux, two on some systems.
  if (error == EAGAIN || error == EINTR) return SocketError::kWouldBlock;
  if (error == EWOULDBLOCK) return SocketError::kWouldBlock;
  if (error == ECONNRESET || error == EPIPE) return SocketError::kReset;
  if (error == EADDRINUSE) return SocketError::kAddressInUse;
  if (error == EADDRNOTAVAIL) return SocketError::kAddressNotAvailable;
  return SocketError::kOther;
}

}  // namespace

bool WinsockStarted() { return g_started; }

SocketError LastSocketError() { return g_lastError; }

bool SocketStartup(std::string& description) {
  if (g_started) return true;
  g_started = true;
  description = "BSD sockets";
  return true;
}

std::uint32_t LoopbackAddress() { return htonl(INADDR_LOOPBACK); }

SocketHandle ListenOn(std::int32_t port, std::uint32_t bindAddress, sockaddr_in& address,
                      std::int32_t backlog) {
  sockaddr_in local;
  if (!MakeListenAddress(port, bindAddress, local) || !g_started) {
    return Failed(SocketError::kOther);
  }

  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failed(FromErrno(errno));
  // Connections the server closed itself linger on the port for a while; they
  // must not keep a restarted server from listening. (This never lets two
  // listeners share the port.)
  const int reuse = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(fd, backlog) != 0) {
    const int error = errno;
    ::close(fd);
    return Failed(FromErrno(error));
  }
  g_open.insert(fd);
  address = local;
  return fd;
}

std::int32_t LargestBacklog() { return SOMAXCONN; }

bool SetListenBacklog(SocketHandle listener, std::int32_t backlog) {
  return IsOpen(listener) && ::listen(listener, backlog) == 0;
}

void SocketCleanup() {
  for (SocketHandle socket : g_open) ::close(socket);
  g_open.clear();
  g_started = false;
}

SocketHandle AcceptConnection(SocketHandle listener, sockaddr_in& peer) {
  if (!IsOpen(listener)) return kInvalidSocket;
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&from), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return kInvalidSocket;
  g_open.insert(fd);
  peer = from;
  return fd;
}

std::int32_t ReceiveBytes(SocketHandle socket, std::uint8_t* buffer, std::int32_t length) {
  if (!IsOpen(socket) || length < 0) return Failed(SocketError::kOther);
  const auto n = ::recv(socket, buffer, static_cast<std::size_t>(length), 0);
  if (n < 0) return Failed(FromErrno(errno));
  return static_cast<std::int32_t>(n);
}

std::int32_t SendBytes(SocketHandle socket, const std::uint8_t* buffer, std::int32_t length) {
  if (!IsOpen(socket) || length < 0) return Failed(SocketError::kOther);
  // MSG_NOSIGNAL: a client that went away must not end the server.
  const auto n = ::send(socket, buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (n < 0) return Failed(FromErrno(errno));
  return static_cast<std::int32_t>(n);
}

bool IsSocketOpen(SocketHandle socket) { return IsOpen(socket); }

std::int32_t CloseSocket(SocketHandle socket) {
  if (g_open.erase(socket) == 0) return kSocketError;
  return ::close(socket) == 0 ? 0 : kSocketError;
}

std::int32_t GetSockName(SocketHandle socket, sockaddr_in& address) {
  if (!IsOpen(socket)) return kSocketError;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) return kSocketError;
  address = local;
  return 0;
}

}  // namespace quib
