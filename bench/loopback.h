// A loaded Form1 on a free loopback port with real clients accepted through
// AcceptPending, for the benchmarks that need the socket layer's own handles.
#pragma once

#include <cstdint>
#include <vector>

#include "app/main_window.h"

namespace quib::bench {

class LoopbackServer {
 public:
  // Listens, then connects and accepts `clients` idle clients, each with a
  // receive buffer of about `clientReceiveBuffer` bytes (the default leaves
  // room for many replies between two drains). Ok() tells whether all of
  // them made it.
  explicit LoopbackServer(int clients, int clientReceiveBuffer = 1 << 20);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool Ok() const { return ok_; }
  // Connects one more client and accepts it; false when that failed.
  bool AddClient();
  Form1& Form() { return form_; }
  int Client(std::size_t index) const { return clients_[index]; }

 private:
  Form1 form_;
  std::vector<int> clients_;
  int clientReceiveBuffer_;
  bool ok_ = false;
};

// Raises the soft limit of open descriptors to the hard limit.
void RaiseDescriptorLimit();

}  // namespace quib::bench
