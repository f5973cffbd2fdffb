#include "bench/loopback.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

#include "tests/client_support.h"

namespace quib::bench {

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
  const int fd = test::ConnectClient(form_.ListeningPort(), 0x7F000001, clientReceiveBuffer_);
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

void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace quib::bench
