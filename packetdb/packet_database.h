// The packet database: per packet version, the id, length and field positions
// of the nine named map packets, read from packet_db.txt.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quib {

struct PacketEntry {
  std::uint16_t Id = 0;                      // 0 when no line wrote this entry
  std::int32_t Length = 0;                   // as written, negative values included
  std::array<std::int16_t, 10> Positions{};  // byte offsets of the fields
};

struct VersionEntry {
  PacketEntry wanttoconnection;
  PacketEntry loadendack;
  PacketEntry ticksend;
  PacketEntry globalmessage;
  PacketEntry emotion;
  PacketEntry sndoridori;
  PacketEntry walktoxy;
  PacketEntry howmanyconnections;
  PacketEntry restart;
};

// Indexed by packet version number, 0 up to the last section header read.
using PacketTable = std::vector<VersionEntry>;

// The member of `entry` called `name` (compared exactly), or nullptr.
PacketEntry* FindPacketEntry(VersionEntry& entry, std::string_view name);

// The entry for `version`, or nullptr when the table has none.
const VersionEntry* FindVersion(const PacketTable& table, std::int32_t version);

// Reads database text into a table. Never fails: lines it does not understand
// are skipped. A section header read as another version than it names (none
// given, or outside 1 to 65535) adds a line to `warnings`, when given.
PacketTable ParsePacketDatabase(const std::string& text,
                                std::vector<std::string>* warnings = nullptr);

// Reads the file at `path` into `table`. False when it is missing or
// unreadable, not a regular file, over 16 MiB, empty, or has no section
// header; `table` is then left as it was and `reason`, when given, says why in
// one line: "not a regular file: /dev/zero".
bool LoadPacketDatabase(const std::string& path, PacketTable& table, std::string* reason = nullptr,
                        std::vector<std::string>* warnings = nullptr);

// Where packet_db.txt is looked for when no path is given, in this order:
// beside the running executable (a build folder, an unpacked zip), then in
// share/quib-server beside the executable's folder (/usr/bin/quib-server
// reads /usr/share/quib-server/packet_db.txt). Empty when the executable's
// folder cannot be found.
std::vector<std::string> DefaultPacketDatabasePaths();

// The first of DefaultPacketDatabasePaths that exists. When none does, the
// empty text, and `reason`, when given, names each path tried:
// "not found: /usr/bin/packet_db.txt, /usr/share/...".
std::string DefaultPacketDatabasePath(std::string* reason = nullptr);

}  // namespace quib
