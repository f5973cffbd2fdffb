// The packets the server sends, as the capture's comments name them: the id
// in four hex digits and the name of their rows in packet_descriptions.h, as
// the dissector names them.
#pragma once

#include <cstdint>

#include "protocol/packet_descriptions.h"

namespace quib {

// The 4 bytes of account id that come before the character list and the map
// login's reply: no packet id of their own.
inline constexpr const char* kAccountEchoComment = kAccountEcho.Name;

// "0x" and four hex digits, a space and the name, for a packet the server
// sends; nullptr for any other id.
const char* ReplyComment(std::uint16_t id);

}  // namespace quib
