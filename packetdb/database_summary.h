// What a packet database holds, as the operator is told at start and by
// --check-db: its versions and their packets, the mistakes of its file, and
// what will not work with it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "packetdb/packet_database.h"

namespace quib {

// Start-up says this many mistakes of each kind, then how many more there are.
inline constexpr std::size_t kMistakesSaidPerKind = 5;

// "Packet database PATH: versions 5 to 22 with 9 packets each".
std::string DatabaseSummary(const std::string& path, const PacketTable& table);

// "Warning: packet database: PATH, line 7: " and what is wrong.
std::string MistakeWarning(const std::string& path, const DatabaseMistake& mistake);

// One line per warning of what will not work: the versions that detection
// can choose but that have no map login in the table, whose clients are never
// answered in the map; then each version, detectable or `listed`, whose
// clients cannot reach the map, and why.
std::vector<std::string> VersionWarnings(const PacketTable& table,
                                         const std::set<std::int32_t>& listed);

// The `listed` versions whose clients cannot reach the map. A client reaches
// it when its map login (the one detection tells its version by, or for a
// version detection never tells, the one the table gives) is told as a
// version whose map login in the table is that very id and length.
std::vector<std::int32_t> VersionsThatCannotReachTheMap(const PacketTable& table,
                                                        const std::set<std::int32_t>& listed);

// "5 to 13, 15, 16": runs of consecutive numbers, in increasing order.
std::string Runs(const std::vector<std::int32_t>& numbers);

// LoadPacketDatabase, and when the file loads, what start-up says of it in
// `lines`: the summary, the first mistakes of each kind with how many more,
// and VersionWarnings.
bool LoadAndDescribePacketDatabase(const std::string& path, PacketTable& table,
                                   std::vector<std::string>& lines, std::string* reason);

}  // namespace quib
