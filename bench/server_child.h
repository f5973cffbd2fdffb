// The built quib-server as a child process of the benchmark: started in the
// console on a free port, its log to /dev/null, ended by SIGTERM.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quib::bench {

class ServerChild {
 public:
  // Starts QUIB_SERVER_BINARY --headless --port 0 with `args` and waits for
  // "Quib-Server listening on ADDRESS:PORT". Port() is -1 when that failed.
  explicit ServerChild(const std::vector<std::string>& args);
  ~ServerChild();  // SIGTERM, then SIGKILL if it does not end; reaped
  ServerChild(const ServerChild&) = delete;
  ServerChild& operator=(const ServerChild&) = delete;

  std::int32_t Port() const { return port_; }
  const std::string& ErrorText() const { return stderr_; }

 private:
  pid_t pid_ = -1;
  int error_ = -1;  // the read end of its standard error
  std::int32_t port_ = -1;
  std::string stderr_;
};

}  // namespace quib::bench
