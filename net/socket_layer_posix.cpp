// The socket layer's backend on BSD sockets (Linux).
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "net/socket_backend.h"

namespace quib::backend {

namespace {

// Every accepted socket is in this epoll set until it is closed (a closed
// descriptor leaves it by itself); level-triggered, so a socket with bytes or
// an end still to receive is named at every question.
int g_watch = -1;

}  // namespace

bool Start(std::string& description) {
  description = "BSD sockets";
  g_watch = ::epoll_create1(EPOLL_CLOEXEC);
  return g_watch >= 0;
}

void Stop() {
  ::close(g_watch);
  g_watch = -1;
}

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
  // A closed or reset connection says EPOLLHUP or EPOLLERR, with or without
  // EPOLLIN; those come whether asked for or not.
  epoll_event watch{};
  watch.events = EPOLLIN | EPOLLRDHUP;
  watch.data.fd = fd;
  if (::epoll_ctl(g_watch, EPOLL_CTL_ADD, fd, &watch) != 0) {
    ::close(fd);  // never named readable, it would never be read
    return kInvalidSocket;
  }
  return fd;
}

bool FindReadable(std::size_t held, std::vector<SocketHandle>& readable) {
  // Room for every socket: one call names all that are ready.
  static std::vector<epoll_event> events;
  events.resize(std::max<std::size_t>(1, held));
  int ready;
  do {
    ready = ::epoll_wait(g_watch, events.data(), static_cast<int>(events.size()), 0);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return false;
  for (int i = 0; i < ready; ++i) readable.push_back(events[static_cast<std::size_t>(i)].data.fd);
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

std::int32_t Abort(SocketHandle socket) {
  const linger now{.l_onoff = 1, .l_linger = 0};
  ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &now, sizeof now);
  return Close(socket);
}

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
