// The packet database: per packet version, the id, length and field positions
// of the nine named map packets, read from packet_db.txt.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <set>
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

// The mistakes the reader finds in a database text. A mistake never changes
// what the reader makes of the text; it is only said.
enum class Mistake : std::uint8_t {
  kHeaderVersion,      // a section header read as another version than it names
  kNoKind,             // a line that is no comment, section header or packet line
  kBeforeFirstHeader,  // a packet line with no section to go to
  kFewFields,          // a packet line of fewer than four fields
  kNotANumber,         // a numeric field without digits, or with more than a number
  kIdOutOfRange,       // an id outside 0x0001 to 0xFFFE, taken as the nearest
  kManyPositions,      // more than ten positions
  kUnknownName,        // a name that is none of the nine
};
// Per kind, in the order of Mistake, what many of them are called: "12 more
// lines of no kind".
inline constexpr std::string_view kMistakePlurals[] = {
    "section headers read as another version",
    "lines of no kind",
    "packet lines before the first section header",
    "packet lines of fewer than four fields",
    "numbers that do not read as written",
    "ids out of range",
    "packet lines of more than ten positions",
    "packet lines with a name that is none of the nine",
};
inline constexpr std::size_t kMistakeKinds = std::size(kMistakePlurals);

struct DatabaseMistake {
  Mistake Kind;
  std::size_t Line;  // from 1
  std::string What;  // "the length \"19x\" is not wholly a number; read as 19"
};

// What the reader tells besides the table, for whoever asks: the mistakes, as
// they are read, and the versions the section headers name.
struct ReadReport {
  // Called with each mistake while fewer than `SaidPerKind` of its kind were;
  // the rest are only counted, and their words never made.
  std::function<void(const DatabaseMistake&)> Say;
  std::size_t SaidPerKind = std::numeric_limits<std::size_t>::max();
  std::array<std::size_t, kMistakeKinds> Found{};  // of each kind, said or not
  std::set<std::int32_t> Listed;                   // as read: "packet_ver: 0" lists 1
};

// "0x0072": an id as the database's mistakes and warnings write it.
std::string IdText(std::int32_t id);

// Reads database text into a table. Never fails: what it does not understand
// is skipped, and told to `report` when given.
PacketTable ParsePacketDatabase(const std::string& text, ReadReport* report = nullptr);

// Reads the file at `path` into `table`. False when it is missing or
// unreadable, not a regular file, over 16 MiB, empty, or has no section
// header; `table` is then left as it was and `reason`, when given, says why in
// one line: "not a regular file: /dev/zero".
bool LoadPacketDatabase(const std::string& path, PacketTable& table, std::string* reason = nullptr,
                        ReadReport* report = nullptr);

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
