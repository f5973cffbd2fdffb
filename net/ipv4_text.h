// IPv4 addresses as the operator reads them.
#pragma once

#include <cstdint>
#include <string>

#include "net/socket_types.h"

namespace quib {

// "127.0.0.1" for 0x7F000001 (host byte order in).
std::string FormatIPv4(std::uint32_t address);
// "127.0.0.1:6900".
std::string FormatEndpoint(const Endpoint& endpoint);
// 127.0.0.0/8, host byte order in.
bool IsLoopback(std::uint32_t address);

}  // namespace quib
