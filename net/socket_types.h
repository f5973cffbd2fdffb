// Addresses: the socket library's own type, from the platform's headers
// (Windows Sockets on Windows, BSD sockets elsewhere), and the endpoint that
// the rest of the server speaks. A `sockaddr_in` holds its address and port in
// network byte order; it is kept only where the design keeps one (a
// `ServerAddress`, a connection's `PeerAddress`), and everything else reads
// an Endpoint, in host byte order.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstdint>

namespace quib {

// An IPv4 address and a TCP port, both in host byte order: 127.0.0.1 is
// 0x7F000001, as FormatIPv4 takes it.
struct Endpoint {
  std::uint32_t Address = 0;
  std::uint16_t Port = 0;

  friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

inline constexpr std::uint32_t kLoopbackAddress = 0x7F000001;  // 127.0.0.1

// The endpoint a record's `sockaddr_in` holds.
inline Endpoint EndpointOf(const sockaddr_in& address) {
  return {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

// The `sockaddr_in` for `endpoint`: family AF_INET, the rest zero.
inline sockaddr_in SocketAddressOf(const Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.Port);
  address.sin_addr.s_addr = htonl(endpoint.Address);
  return address;
}

}  // namespace quib
