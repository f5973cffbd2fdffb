// The socket layer's backend on BSD sockets (Linux).
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "net/socket_backend.h"

namespace quib::backend {

bool Start(std::string& description) {
  description = "BSD sockets";
  return true;
}

void Stop() {}

SocketHandle Listen(const sockaddr_in& local, std::int32_t backlog, int& error, const char*& call) {
  call = "socket";
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = errno;
    return kInvalidSocket;
  }
  // Connections the server closed itself linger on the port for a while; they
  // must not keep a restarted server from listening. (This never lets two
  // listeners share the port.)
  const int reuse = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  call = "bind";
  bool listening = ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
  if (listening) {
    call = "listen";
    listening = ::listen(fd, backlog) == 0;
  }
  if (!listening) {
    error = errno;
    ::close(fd);
    return kInvalidSocket;
  }
  return fd;
}

std::int32_t Relisten(SocketHandle listener, std::int32_t backlog) {
  return ::listen(listener, backlog) == 0 ? 0 : kSocketError;
}

std::int32_t LargestBacklog() { return SOMAXCONN; }

SocketHandle Accept(SocketHandle listener, sockaddr_in& peer) {
  socklen_t length = sizeof peer;
  const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return kInvalidSocket;
  const int noDelay = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  return fd;
}

bool FindReadable(std::span<const SocketHandle> sockets, std::vector<SocketHandle>& readable) {
  static std::vector<pollfd> fds;
  fds.clear();
  for (const SocketHandle socket : sockets) fds.push_back({socket, POLLIN, 0});
  int ready;
  do {
    ready = ::poll(fds.data(), fds.size(), 0);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return false;
  // A closed or reset connection says POLLHUP or POLLERR, with or without POLLIN.
  for (std::size_t i = 0; i < fds.size() && ready > 0; ++i) {
    if (fds[i].revents == 0) continue;
    readable.push_back(fds[i].fd);
    --ready;
  }
  return true;
}

std::int32_t Receive(SocketHandle socket, std::uint8_t* buffer, std::int32_t length, int& error) {
  const auto n = ::recv(socket, buffer, static_cast<std::size_t>(length), 0);
  if (n < 0) error = errno;
  return n < 0 ? kSocketError : static_cast<std::int32_t>(n);
}

std::int32_t Send(SocketHandle socket, const std::uint8_t* buffer, std::int32_t length,
                  int& error) {
  // MSG_NOSIGNAL: a client that went away must not end the server.
  const auto n = ::send(socket, buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (n < 0) error = errno;
  return n < 0 ? kSocketError : static_cast<std::int32_t>(n);
}

std::int32_t Close(SocketHandle socket) { return ::close(socket) == 0 ? 0 : kSocketError; }

std::int32_t LocalAddress(SocketHandle socket, sockaddr_in& address) {
  socklen_t length = sizeof address;
  return ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 ? 0
                                                                                    : kSocketError;
}

std::span<const ErrorMeaning> ErrorMeanings() {
  // EAGAIN and EWOULDBLOCK are one value on Linux, two on some systems.
  static constexpr std::array<ErrorMeaning, 7> kMeanings{{
      {EAGAIN, SocketError::kWouldBlock},
      {EWOULDBLOCK, SocketError::kWouldBlock},
      {EINTR, SocketError::kWouldBlock},
      {ECONNRESET, SocketError::kReset},
      {EPIPE, SocketError::kReset},
      {EADDRINUSE, SocketError::kAddressInUse},
      {EADDRNOTAVAIL, SocketError::kAddressNotAvailable},
  }};
  return kMeanings;
}

std::string ErrorText(int code) { return std::strerror(code); }

}  // namespace quib::backend
