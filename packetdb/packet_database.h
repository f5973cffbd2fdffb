// The packet database: per packet version, the id, length and field positions
// of the nine named map packets, read from packet_db.txt.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
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

// The nine members by the names packet_db.txt gives them, in the order of
// VersionEntry: the one list of those names, which the reader, the summary,
// the dissector's tables (dissector/generator/generate_tables.cpp) and the
// tests read.
struct PacketMember {
  std::string_view Name;
  PacketEntry VersionEntry::*Entry;
};
inline constexpr PacketMember kPacketMembers[] = {
    {"wanttoconnection", &VersionEntry::wanttoconnection},
    {"loadendack", &VersionEntry::loadendack},
    {"ticksend", &VersionEntry::ticksend},
    {"globalmessage", &VersionEntry::globalmessage},
    {"emotion", &VersionEntry::emotion},
    {"sndoridori", &VersionEntry::sndoridori},
    {"walktoxy", &VersionEntry::walktoxy},
    {"howmanyconnections", &VersionEntry::howmanyconnections},
    {"restart", &VersionEntry::restart},
};
static_assert(std::size(kPacketMembers) * sizeof(PacketEntry) == sizeof(VersionEntry),
              "every member of VersionEntry has its name in kPacketMembers");

// The name of the member `entry` points to; empty for nullptr.
constexpr std::string_view PacketMemberName(PacketEntry VersionEntry::*entry) {
  for (const PacketMember& member : kPacketMembers) {
    if (member.Entry == entry) return member.Name;
  }
  return {};
}

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

// Where packet_db.txt is looked for when no path is given: the places of
// packet_database_places.h, from the running executable's folder, in their
// order (/usr/bin/quib-server reads /usr/bin/packet_db.txt, else
// /usr/share/quib-server/packet_db.txt). Empty when the executable's folder
// cannot be found.
std::vector<std::string> DefaultPacketDatabasePaths();

// The first of DefaultPacketDatabasePaths that exists. When none does, the
// empty text, and `reason`, when given, names each path tried:
// "not found: /usr/bin/packet_db.txt, /usr/share/...".
std::string DefaultPacketDatabasePath(std::string* reason = nullptr);

}  // namespace quib
