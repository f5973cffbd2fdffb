// The packets the server sends, by name, as the capture's comments give them
// ("0x0069 Server list") and the dissector names them.
#pragma once

#include <cstdint>

namespace quib {

// The 4 bytes of account id that come before the character list and the map
// login's reply: no packet id of their own.
inline constexpr char kAccountEchoComment[] = "Account echo";

// "0x0069 Server list" for a packet the server sends; nullptr for any other id.
const char* ReplyComment(std::uint16_t id);

}  // namespace quib
