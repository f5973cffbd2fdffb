// The socket library's address type and byte-order calls, from the platform's
// own headers: Windows Sockets on Windows, BSD sockets elsewhere. The core
// includes this instead of either, so that it builds unchanged on both.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstdint>

namespace quib {

// The address a listening socket binds, `bindAddress` in network byte order.
// False for a port the server refuses: one outside 16 bits would wrap to
// another (0 among them), and 65535 is refused as such.
inline bool MakeListenAddress(std::int32_t port, std::uint32_t bindAddress, sockaddr_in& local) {
  if (port < 0 || port > 0xFFFF) return false;
  local = sockaddr_in{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (local.sin_port == 0xFFFF) return false;
  local.sin_addr.s_addr = bindAddress;
  return true;
}

}  // namespace quib
