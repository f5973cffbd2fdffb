// The connection table: one record per accepted client connection, in order of
// acceptance (ConnectionRecord, protocol/connection_record.h). A record whose
// socket the server closed itself stays until a new connection gets the same
// socket value and continues in it.
#pragma once

#include <cstddef>

#include "net/socket_layer.h"
#include "protocol/connection_record.h"

namespace quib {

// A listening endpoint the login and character replies advertise.
struct ServerAddress {
  SocketHandle Socket = kInvalidSocket;
  sockaddr_in Address{};  // port and address in network byte order
};

// A connection that does not read is let go once this much waits for it.
inline constexpr std::size_t kUnsentLimit = std::size_t{256} * 1024;

}  // namespace quib
