// Packet version detection: the map login's id and size tell the client's
// packet version. The size is what the client sent since detection was due,
// however many reads brought it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quib {

// The version whose map login has this id and this many bytes, or nullopt
// when the detection table knows no such pair.
std::optional<std::int32_t> DetectPacketVersion(std::int32_t packetId, std::int32_t bytesReceived);

// Every version detection can choose, in increasing order.
std::vector<std::int32_t> DetectableVersions();
// The largest byte count the detection table lists for `packetId`; 0 when it
// lists none. A map login past it is told by no later byte.
std::int32_t LargestMapLoginSize(std::int32_t packetId);

}  // namespace quib
