// Packet version detection: the map login's id and size tell the client's
// packet version. The size is what the client sent since detection was due,
// however many reads brought it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quib {

// One way a version is told: the id of its map login and the bytes it came in.
struct DetectionRow {
  std::int32_t PacketId;
  std::int32_t BytesReceived;
  std::int32_t Version;
};

// The detection table, the one statement of it: the server's detection reads
// it, and so does dissector/generator/generate_tables.cpp for the dissector's
// tables. No pair of id and size occurs twice.
std::span<const DetectionRow> DetectionTable();

// The version whose map login has this id and this many bytes, or nullopt
// when the detection table knows no such pair.
std::optional<std::int32_t> DetectPacketVersion(std::int32_t packetId, std::int32_t bytesReceived);

// Every version detection can choose, in increasing order.
std::vector<std::int32_t> DetectableVersions();
// The largest byte count the detection table lists for `packetId`; 0 when it
// lists none. A map login past it is told by no later byte.
std::int32_t LargestMapLoginSize(std::int32_t packetId);

}  // namespace quib
