#include "bench/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace quib::bench {

int ConnectTo(std::int32_t port, int receiveBuffer) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // Set before connecting, so that the window the client offers follows it.
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

LoopbackServer::LoopbackServer(int clients, int clientReceiveBuffer)
    : clientReceiveBuffer_(clientReceiveBuffer) {
  form_.AcceptDelay = std::chrono::milliseconds(0);
  if (!form_.Load(0)) return;
  for (int i = 0; i < clients; ++i) {
    if (!AddClient()) return;
  }
  ok_ = true;
}

bool LoopbackServer::AddClient() {
  const int fd = ConnectTo(form_.ListeningPort(), clientReceiveBuffer_);
  if (fd < 0) return false;
  clients_.push_back(fd);
  // The listening socket's backlog is 1: accept each one as it comes.
  const std::int32_t before = form_.ConnectionCount();
  form_.AcceptPending();
  return form_.ConnectionCount() == before + 1;
}

LoopbackServer::~LoopbackServer() {
  for (const ConnectionRecord& record : form_.ConnectionTable) CloseSocket(record.Socket);
  CloseSocket(form_.LoginServer.Socket);
  for (int fd : clients_) ::close(fd);
}

void Drain(int fd) {
  std::uint8_t sink[65536];
  while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
  }
}

void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace quib::bench
