// What a loaded packet database holds, as the operator is told at start: its
// versions and their packets, and what will not work with it.
#pragma once

#include <string>
#include <vector>

#include "packetdb/packet_database.h"

namespace quib {

// One line on the versions `table` holds and how many of the nine map
// packets each has, then one line per warning: `readWarnings` (from the
// reader), and the versions that detection can choose but that have no map
// login in the table, whose clients are never answered in the map.
std::vector<std::string> DescribePacketDatabase(const std::string& path, const PacketTable& table,
                                                const std::vector<std::string>& readWarnings);

}  // namespace quib
