// Reader of packet_db.txt. The file is lines ending in a line feed:
//   // comment
//   packet_ver: N            starts section N as a copy of entry N - 1
//   id,length,name,p0:p1:... a packet of the current section
// Ids are decimal or "0x" followed by hex digits. Unknown names are read and
// dropped, lines that fit no kind are skipped; either is a mistake, which the
// reader tells its report of with the line's number.
#include "packetdb/packet_database.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <system_error>

#include "packetdb/packet_database_places.h"
#include "packetdb/text_utils.h"

namespace quib {
namespace {

// Far beyond every field's range, far below int64 overflow: digits past it
// saturate instead of wrapping.
constexpr std::int64_t kSaturated = std::int64_t{1} << 40;

constexpr std::int32_t kHighestVersion = 65535;
constexpr std::int64_t kLowestId = 1;
constexpr std::int64_t kHighestId = 0xFFFE;
constexpr std::size_t kPositionSlots = std::tuple_size_v<decltype(PacketEntry::Positions)>;

// Far beyond any real database, small enough to hold and read at once.
constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string WithoutBlanks(std::string_view field) {
  std::string kept;
  for (char c : field) {
    if (c != ' ' && c != '\t') kept.push_back(c);
  }
  return kept;
}

std::int64_t AddDigit(std::int64_t magnitude, int base, int digit) {
  if (magnitude >= kSaturated) return kSaturated;
  return std::min(magnitude * base + digit, kSaturated);
}

// A numeric field as read: its value, whether a digit was read, and whether
// nothing was left after the number (blanks aside).
struct Number {
  std::int64_t Value = 0;
  bool Digits = false;
  bool Whole = false;
  bool AsWritten() const { return Digits && Whole; }
};

// Sign, digits and an optional fraction; reading stops at the first other
// character. The fraction rounds half to even.
Number ReadDecimal(std::string_view field) {
  const std::string text = WithoutBlanks(field);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::int64_t magnitude = 0;
  const std::size_t digitsFrom = i;
  for (; i < text.size() && IsDigit(text[i]); ++i)
    magnitude = AddDigit(magnitude, 10, text[i] - '0');
  bool digits = i > digitsFrom;
  if (i < text.size() && text[i] == '.') {
    ++i;
    int first = 0;        // first fraction digit
    bool beyond = false;  // any nonzero digit after it
    if (i < text.size() && IsDigit(text[i])) {
      first = text[i++] - '0';
      digits = true;
    }
    for (; i < text.size() && IsDigit(text[i]); ++i) beyond = beyond || text[i] != '0';
    const bool up = first > 5 || (first == 5 && (beyond || magnitude % 2 == 1));
    if (up) magnitude = std::min(magnitude + 1, kSaturated);
  }
  return {negative ? -magnitude : magnitude, digits, i == text.size()};
}

// Hex digits after the "0x" prefix, unsigned.
Number ReadHex(std::string_view digits) {
  const std::string text = WithoutBlanks(digits);
  std::int64_t value = 0;
  std::size_t i = 0;
  for (; i < text.size() && HexValue(text[i]) >= 0; ++i)
    value = AddDigit(value, 16, HexValue(text[i]));
  return {value, i > 0, i == text.size()};
}

template <typename T>
T ClampTo(std::int64_t value) {
  return static_cast<T>(std::clamp<std::int64_t>(value, std::numeric_limits<T>::min(),
                                                 std::numeric_limits<T>::max()));
}

// Only a lower-case "0x" means hex; "0X72" reads as the decimal 0.
Number ReadId(std::string_view field) {
  return field.starts_with("0x") ? ReadHex(field.substr(2)) : ReadDecimal(field);
}

std::string_view TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// The table while it is read. Every header resizes it and copies one entry
// into another; holding only the entries that lines wrote or headers copied
// keeps each header at the cost of one entry, not of the whole table, in
// whatever order the headers come.
struct Reader {
  std::size_t size = 0;  // the table's size so far
  // Entries below `size` that lines wrote or headers copied; all others are zero.
  std::map<std::size_t, VersionEntry> written;
  std::int32_t current = 0;      // 0 until the first section header
  PacketEntry working;           // never cleared: unlisted position slots carry over
  std::size_t line = 0;          // the number of the line being read, from 1
  ReadReport* report = nullptr;  // told of the mistakes, when given
};

// Tells the report of a mistake on the line being read. `words()` makes what
// is said, only when it is said: a file of a million mistakes costs a million
// counts, not a million texts.
template <typename Words>
void Say(Reader& reader, Mistake kind, const Words& words) {
  if (reader.report == nullptr) return;
  std::size_t& found = reader.report->Found[static_cast<std::size_t>(kind)];
  if (found++ < reader.report->SaidPerKind && reader.report->Say) {
    reader.report->Say({kind, reader.line, words()});
  }
}

// `text` in quotes as a mistake shows it: its first 40 characters, a control
// character as \xNN.
std::string Quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string quoted = "\"";
  for (const char c : text.substr(0, kShown)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      quoted += c;
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    quoted += escaped;
  }
  return quoted + (text.size() > kShown ? "...\"" : "\"");
}

// A numeric field that is not a number as written: "the length \"19x\" is not
// wholly a number; read as 19".
void SayNotNumber(Reader& reader, const std::string& what, std::string_view field,
                  const Number& number, const std::string& readAs) {
  Say(reader, Mistake::kNotANumber, [&] {
    return what + " " + Quoted(field) +
           (number.Digits ? " is not wholly a number" : " is not a number") + "; read as " + readAs;
  });
}

// True when `a` becomes `b` with at most `slips` letters inserted, deleted
// or changed. Each slip tries three ways on from the first difference, so
// two slips cost at most nine passes over the texts.
bool WithinSlips(std::string_view a, std::string_view b, int slips) {
  while (!a.empty() && !b.empty() && a.front() == b.front()) {
    a.remove_prefix(1);
    b.remove_prefix(1);
  }
  if (a.empty() || b.empty())
    return std::max(a.size(), b.size()) <= static_cast<std::size_t>(slips);
  return slips > 0 &&
         (WithinSlips(a.substr(1), b.substr(1), slips - 1) ||
          WithinSlips(a.substr(1), b, slips - 1) || WithinSlips(a, b.substr(1), slips - 1));
}

// The packet name that `name` is a slip of: the same in another case, with
// blanks in it, or at most two letters off. Empty when it is none's.
std::string_view LikelyName(std::string_view name) {
  std::string folded;
  for (const char c : name) {
    if (c == ' ' || c == '\t') continue;
    // Far longer than every name: a slip of none.
    if (folded.size() == 32) return {};
    folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (int slips = 0; slips <= 2; ++slips) {
    for (const PacketMember& member : kPacketMembers) {
      if (WithinSlips(folded, member.Name, slips)) return member.Name;
    }
  }
  return {};
}

// A header read as a version it does not name: the reading stays, and the
// operator is told.
void WarnAboutHeader(Reader& reader, std::string_view header, std::string_view number,
                     std::int32_t version) {
  const bool digits = number.find_first_of("0123456789") != std::string_view::npos;
  if (digits && ReadDecimal(number).Value == version) return;
  Say(reader, Mistake::kHeaderVersion, [&] {
    return Quoted(header) + " " +
           (digits ? "is outside the versions 1 to " + std::to_string(kHighestVersion)
                   : std::string("has no version number")) +
           "; read as version " + std::to_string(version);
  });
}

// `line` contains "packet_ver:". Only a header when the name stands before
// the first colon; false for any other such line, which is skipped.
bool ReadSectionHeader(Reader& reader, std::string line) {
  const std::string header = line;
  const std::string before = TakeField(line, ':');
  if (before.find("packet_ver") == std::string::npos) return false;
  const auto version = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(ReadDecimal(TrimSpaces(line)).Value, 1, kHighestVersion));
  WarnAboutHeader(reader, header, TrimSpaces(line), version);
  if (reader.report != nullptr) reader.report->Listed.insert(version);
  const auto index = static_cast<std::size_t>(version);
  // Resized to index + 1: a lower header drops the entries above it, a higher
  // one adds zero entries. Then entry index becomes a copy of the one below.
  reader.written.erase(reader.written.upper_bound(index), reader.written.end());
  reader.size = index + 1;
  const auto below = reader.written.find(index - 1);
  if (below != reader.written.end()) {
    reader.written.insert_or_assign(index, below->second);
  } else {
    reader.written.erase(index);
  }
  reader.current = version;
  return true;
}

void ReadPacketLine(Reader& reader, std::string_view line) {
  // Before the first header there is no entry to write to.
  if (reader.current == 0) {
    Say(reader, Mistake::kBeforeFirstHeader,
        [&] { return Quoted(line) + " comes before the first section header; it is skipped"; });
    return;
  }
  // Id, length, name and positions; later fields are never looked at.
  std::array<std::string_view, 4> fields;
  const std::size_t count = SplitFirstFields(line, ',', fields);
  if (count < 4) {
    Say(reader, Mistake::kFewFields, [&] {
      return Quoted(line) + " has " + std::to_string(count) + (count == 1 ? " field" : " fields") +
             " where a packet line has four (id, length, name, positions); it stores nothing";
    });
  }
  if (count < 2) return;
  const Number id = ReadId(fields[0]);
  const Number length = ReadDecimal(fields[1]);
  reader.working.Id = static_cast<std::uint16_t>(std::clamp(id.Value, kLowestId, kHighestId));
  reader.working.Length = ClampTo<std::int32_t>(length.Value);
  if (count < 4) return;
  if (!id.AsWritten()) {
    SayNotNumber(reader, "the id", fields[0], id, IdText(reader.working.Id));
  } else if (id.Value != reader.working.Id) {
    Say(reader, Mistake::kIdOutOfRange, [&] {
      return "the id " + Quoted(fields[0]) + " is outside " + IdText(kLowestId) + " to " +
             IdText(kHighestId) + "; read as " + IdText(reader.working.Id);
    });
  }
  if (!length.AsWritten()) {
    SayNotNumber(reader, "the length", fields[1], length, std::to_string(reader.working.Length));
  }
  // An empty positions field gives no parts and changes no slot.
  std::array<std::string_view, kPositionSlots + 1> parts;
  const std::size_t found = SplitFirstFields(fields[3], ':', parts);
  const std::size_t used = std::min(found, kPositionSlots);
  if (found > kPositionSlots) {
    Say(reader, Mistake::kManyPositions, [&] {
      return "the positions " + Quoted(fields[3]) +
             " are more than ten; those past the tenth are ignored";
    });
  }
  for (std::size_t slot = 0; slot < used; ++slot) {
    const Number position = ReadDecimal(parts[slot]);
    reader.working.Positions[slot] = ClampTo<std::int16_t>(position.Value);
    if (!position.AsWritten()) {
      SayNotNumber(reader, "position " + std::to_string(slot + 1), parts[slot], position,
                   std::to_string(reader.working.Positions[slot]));
    }
  }
  VersionEntry& entry = reader.written[static_cast<std::size_t>(reader.current)];
  if (PacketEntry* member = FindPacketEntry(entry, fields[2])) {
    *member = reader.working;
    return;
  }
  Say(reader, Mistake::kUnknownName, [&] {
    std::string words = Quoted(fields[2]) + " is none of the nine packet names";
    if (const std::string_view likely = LikelyName(fields[2]); !likely.empty()) {
      words += " (did you mean " + std::string(likely) + "?)";
    }
    return words + "; the line stores nothing";
  });
}

// `place`, a path relative to `folder` with '/' between its parts, written
// from `folder` with its own separator; a leading "../" takes a folder off
// it ("/usr/bin/" and "../share/x" give "/usr/share/x"). Nullopt when there is
// no folder left to take off.
std::optional<std::string> FromFolder(std::string folder, std::string_view place) {
  // The folder ends in its separator.
  const char separator = folder.back();
  while (place.starts_with("../")) {
    if (folder.size() < 2) return std::nullopt;
    const std::size_t parentEnd = folder.find_last_of("/\\", folder.size() - 2);
    if (parentEnd == std::string::npos) return std::nullopt;
    folder.erase(parentEnd + 1);
    place.remove_prefix(3);
  }
  std::string path = folder + std::string(place);
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(folder.size()), path.end(), '/',
               separator);
  return path;
}

// Why a file read as `result` cannot serve as the database, or nullptr.
const char* Refusal(ReadResult result) {
  switch (result) {
    case ReadResult::kRead:
      return nullptr;
    case ReadResult::kUnreadable:
      return "missing or unreadable";
    case ReadResult::kNotRegularFile:
      return "not a regular file";
    case ReadResult::kTooLarge:
      return "too large (over 16 MiB)";
  }
  return "missing or unreadable";
}

}  // namespace

std::string IdText(std::int32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(id));
  return text;
}

PacketEntry* FindPacketEntry(VersionEntry& entry, std::string_view name) {
  for (const PacketMember& member : kPacketMembers) {
    if (member.Name == name) return &(entry.*member.Entry);
  }
  return nullptr;
}

const VersionEntry* FindVersion(const PacketTable& table, std::int32_t version) {
  if (version < 0 || static_cast<std::size_t>(version) >= table.size()) return nullptr;
  return &table[static_cast<std::size_t>(version)];
}

PacketTable ParsePacketDatabase(const std::string& text, ReadReport* report) {
  Reader reader;
  reader.report = report;
  std::size_t start = 0;
  // Lines end at a line feed; a last line without one is read all the same.
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string kept = RemoveAll(text.substr(start, end - start), '\r');
    const std::string_view line = TrimSpaces(kept);
    start = end + 1;
    ++reader.line;

    if (line.empty() || line.starts_with("//")) continue;
    const bool header = line.find("packet_ver:") != std::string::npos;
    if (header && ReadSectionHeader(reader, std::string(line))) continue;
    if (!header && line.find(',') != std::string::npos) {
      ReadPacketLine(reader, line);
      continue;
    }
    // Skipped as a blank line or a comment is, a line of tabs or a comment
    // after tabs is none of the file's mistakes.
    const std::size_t shown = line.find_first_not_of(" \t");
    if (shown == std::string_view::npos || line.substr(shown).starts_with("//")) continue;
    Say(reader, Mistake::kNoKind, [&] {
      return Quoted(line) +
             " is no comment, section header (\"packet_ver: N\") or packet line; it is skipped";
    });
  }
  PacketTable table(reader.size);
  for (auto& [index, entry] : reader.written) table[index] = entry;
  return table;
}

bool LoadPacketDatabase(const std::string& path, PacketTable& table, std::string* reason,
                        ReadReport* report) {
  std::string text;
  const char* refusal = Refusal(ReadRegularFile(path, kMaxFileBytes, text));
  PacketTable read;
  if (refusal == nullptr && text.empty()) refusal = "empty";
  if (refusal == nullptr) {
    read = ParsePacketDatabase(text, report);
    // Without a section no client's version has an entry: every map login
    // would fail.
    if (read.empty()) refusal = "no packet_ver section";
  }
  if (refusal != nullptr) {
    if (reason != nullptr) *reason = std::string(refusal) + ": " + path;
    return false;
  }
  table = std::move(read);
  return true;
}

std::vector<std::string> DefaultPacketDatabasePaths() {
  const std::string folder = ExecutableFolder();
  if (folder.empty()) return {};
  std::vector<std::string> paths;
  for (const std::string_view place : kPacketDatabasePlaces) {
    if (std::optional<std::string> path = FromFolder(folder, place)) paths.push_back(*path);
  }
  return paths;
}

std::string DefaultPacketDatabasePath(std::string* reason) {
  const std::vector<std::string> paths = DefaultPacketDatabasePaths();
  for (const std::string& path : paths) {
    if (PathExists(path)) return path;
  }
  if (reason != nullptr) {
    *reason = "not found: ";
    if (paths.empty()) *reason += "the program's own folder is unknown";
    for (std::size_t i = 0; i < paths.size(); ++i) *reason += (i > 0 ? ", " : "") + paths[i];
  }
  return {};
}

}  // namespace quib
