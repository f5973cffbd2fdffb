// The packets the server sends, as the capture's comments name them: the id
// in four hex digits and the name of their rows in packet_descriptions.h, as
// the dissector names them.
#pragma once

#include <cstdint>

#include "protocol/packet_descriptions.h"

namespace quib {

// What the capture says of the bytes the operator sends (send #N).
inline constexpr const char* kInjectedComment = "injected";

// "0x" and four hex digits, a space and the name, for a packet the server
// sends; nullptr for any other id.
const char* ReplyComment(std::uint16_t id);

// How the capture names a packet the server sends: its id and name, the
// account echo's name alone; nullptr for bytes no row describes.
const char* SentPacketComment(const PacketDescription* packet);

}  // namespace quib
