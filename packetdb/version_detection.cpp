#include "packetdb/version_detection.h"

#include <algorithm>
#include <array>

namespace quib {

namespace {

// How a version is recognised: the id of its map login and its size. This
// is independent of packet_db.txt, which says what a version's packets look
// like once it is known.
//
// Versions 14, 17, 19 and 22 have no row: their map logins are the same pairs
// as those of versions 13 (0x00F5, 29), 15 (0x009B, 32) and 16 (0x009B, 26),
// which take them first, so those versions are never chosen.
constexpr std::array<DetectionRow, 14> kDetectionTable{{
    {0x0072, 19, 5},
    {0x0072, 22, 6},
    {0x0072, 39, 7},
    {0x007E, 33, 8},
    {0x007E, 37, 9},
    {0x00F5, 34, 10},
    {0x00F5, 32, 11},
    {0x00F5, 35, 12},
    {0x00F5, 29, 13},
    {0x009B, 32, 15},
    {0x009B, 26, 16},
    {0x009B, 31, 18},
    {0x009B, 37, 20},
    {0x009B, 35, 21},
}};

}  // namespace

std::span<const DetectionRow> DetectionTable() { return kDetectionTable; }

std::optional<std::int32_t> DetectPacketVersion(std::int32_t packetId, std::int32_t bytesReceived) {
  for (const DetectionRow& row : kDetectionTable) {
    if (row.PacketId == packetId && row.BytesReceived == bytesReceived) return row.Version;
  }
  return std::nullopt;
}

std::vector<std::int32_t> DetectableVersions() {
  std::vector<std::int32_t> versions;
  versions.reserve(kDetectionTable.size());
  for (const DetectionRow& row : kDetectionTable) versions.push_back(row.Version);
  std::sort(versions.begin(), versions.end());
  versions.erase(std::unique(versions.begin(), versions.end()), versions.end());
  return versions;
}

std::int32_t LargestMapLoginSize(std::int32_t packetId) {
  std::int32_t largest = 0;
  for (const DetectionRow& row : kDetectionTable) {
    if (row.PacketId == packetId) largest = std::max(largest, row.BytesReceived);
  }
  return largest;
}

}  // namespace quib
