#include "packetdb/packet_database.h"

namespace quib {

PacketEntry* FindPacketEntry(VersionEntry&, std::string_view) { return nullptr; }  // STUB
const VersionEntry* FindVersion(const PacketTable& table, std::int32_t version) {  // STUB
  if (version < 0 || static_cast<std::size_t>(version) >= table.size()) return nullptr;
  return &table[static_cast<std::size_t>(version)];
}
PacketTable ParsePacketDatabase(const std::string&) { return {}; }  // STUB
bool LoadPacketDatabase(const std::string&, PacketTable&) { return false; }  // STUB
std::string DefaultPacketDatabasePath() { return "packet_db.txt"; }  // STUB

}  // namespace quib
