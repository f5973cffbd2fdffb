// Shared by the packet database tests: the nine names, entry lookups and
// comparisons, and a small sample database.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "packetdb/packet_database.h"

namespace quib::test {

using Slots = std::array<std::int16_t, 10>;

// The nine names, from the one list of them.
inline constexpr auto kNames = [] {
  std::array<std::string_view, std::size(kPacketMembers)> names{};
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = kPacketMembers[i].Name;
  return names;
}();

inline PacketEntry Member(const PacketTable& table, std::size_t version, std::string_view name) {
  VersionEntry copy = table.at(version);
  const PacketEntry* member = FindPacketEntry(copy, name);
  return member ? *member : PacketEntry{};
}

inline bool IsZero(const PacketEntry& entry) {
  return entry.Id == 0 && entry.Length == 0 && entry.Positions == Slots{};
}

inline bool IsZero(const VersionEntry& entry) {
  VersionEntry copy = entry;
  for (const std::string_view name : kNames) {
    if (!IsZero(*FindPacketEntry(copy, name))) return false;
  }
  return true;
}

inline bool SameTable(const PacketTable& a, const PacketTable& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t v = 0; v < a.size(); ++v) {
    for (const std::string_view name : kNames) {
      const PacketEntry x = Member(a, v, name);
      const PacketEntry y = Member(b, v, name);
      if (x.Id != y.Id || x.Length != y.Length || x.Positions != y.Positions) return false;
    }
  }
  return true;
}

inline const std::string kSample =
    "// sample\n"
    "packet_ver: 5\n"
    "0x0072,19,wanttoconnection,2:6:10:14:18\n"
    "0x007D,2,loadendack,0\n"
    "\n"
    "packet_ver: 6\n"
    "0x0072,22,wanttoconnection,2:6\n";

}  // namespace quib::test
