// Reader of packet_db.txt. The file is lines ending in a line feed:
//   // comment
//   packet_ver: N            starts section N as a copy of entry N - 1
//   id,length,name,p0:p1:... a packet of the current section
// Ids are decimal or "0x" followed by hex digits. Unknown names are read and
// dropped; lines that fit no kind are skipped without a word.
#include "packetdb/packet_database.h"

#include <algorithm>
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

// Sign, digits and an optional fraction; reading stops at the first other
// character. The fraction rounds half to even.
std::int64_t ReadDecimal(std::string_view field) {
  const std::string text = WithoutBlanks(field);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i)
    magnitude = AddDigit(magnitude, 10, text[i] - '0');
  if (i < text.size() && text[i] == '.') {
    ++i;
    int first = 0;        // first fraction digit
    bool beyond = false;  // any nonzero digit after it
    if (i < text.size() && IsDigit(text[i])) first = text[i++] - '0';
    for (; i < text.size() && IsDigit(text[i]); ++i) beyond = beyond || text[i] != '0';
    const bool up = first > 5 || (first == 5 && (beyond || magnitude % 2 == 1));
    if (up) magnitude = std::min(magnitude + 1, kSaturated);
  }
  return negative ? -magnitude : magnitude;
}

// Hex digits after the "0x" prefix, unsigned.
std::int64_t ReadHex(std::string_view digits) {
  const std::string text = WithoutBlanks(digits);
  std::int64_t value = 0;
  for (char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) break;
    value = AddDigit(value, 16, digit);
  }
  return value;
}

template <typename T>
T ClampTo(std::int64_t value) {
  return static_cast<T>(std::clamp<std::int64_t>(value, std::numeric_limits<T>::min(),
                                                 std::numeric_limits<T>::max()));
}

std::uint16_t ReadId(std::string_view field) {
  // Only a lower-case "0x" means hex; "0X72" reads as the decimal 0.
  const std::int64_t value =
      field.starts_with("0x") ? ReadHex(field.substr(2)) : ReadDecimal(field);
  return static_cast<std::uint16_t>(std::clamp(value, kLowestId, kHighestId));
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
  std::int32_t current = 0;  // 0 until the first section header
  PacketEntry working;       // never cleared: unlisted position slots carry over
  std::size_t line = 0;      // the number of the line being read, from 1
  std::vector<std::string>* warnings = nullptr;  // what an operator should know
};

// A header read as a version it does not name: the reading stays, and the
// operator is told.
void WarnAboutHeader(Reader& reader, std::string_view header, std::string_view number,
                     std::int32_t version) {
  if (reader.warnings == nullptr) return;
  const bool digits = number.find_first_of("0123456789") != std::string_view::npos;
  const std::int64_t named = ReadDecimal(number);
  if (digits && named == version) return;
  reader.warnings->push_back(
      "line " + std::to_string(reader.line) + ": \"" + std::string(header) + "\" " +
      (digits ? "is outside the versions 1 to " + std::to_string(kHighestVersion)
              : std::string("has no version number")) +
      "; read as version " + std::to_string(version));
}

// `line` contains "packet_ver:". Only a header when the name stands before
// the first colon; any other such line is skipped.
void ReadSectionHeader(Reader& reader, std::string line) {
  const std::string header = line;
  const std::string before = TakeField(line, ':');
  if (before.find("packet_ver") == std::string::npos) return;
  const auto version = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(ReadDecimal(TrimSpaces(line)), 1, kHighestVersion));
  WarnAboutHeader(reader, header, TrimSpaces(line), version);
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
}

void ReadPacketLine(Reader& reader, std::string_view line) {
  // Before the first header there is no entry to write to.
  if (reader.current == 0) return;
  // Id, length, name and positions; later fields are never looked at.
  std::array<std::string_view, 4> fields;
  const std::size_t count = SplitFirstFields(line, ',', fields);
  if (count < 2) return;
  reader.working.Id = ReadId(fields[0]);
  reader.working.Length = ClampTo<std::int32_t>(ReadDecimal(fields[1]));
  if (count < 4) return;
  // An empty positions field gives no parts and changes no slot.
  std::array<std::string_view, kPositionSlots> parts;
  const std::size_t used = SplitFirstFields(fields[3], ':', parts);
  for (std::size_t slot = 0; slot < used; ++slot) {
    reader.working.Positions[slot] = ClampTo<std::int16_t>(ReadDecimal(parts[slot]));
  }
  VersionEntry& entry = reader.written[static_cast<std::size_t>(reader.current)];
  if (PacketEntry* member = FindPacketEntry(entry, fields[2])) *member = reader.working;
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

PacketTable ParsePacketDatabase(const std::string& text, std::vector<std::string>* warnings) {
  Reader reader;
  reader.warnings = warnings;
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
    if (line.find("packet_ver:") != std::string::npos) {
      ReadSectionHeader(reader, std::string(line));
    } else if (line.find(',') != std::string::npos) {
      ReadPacketLine(reader, line);
    }
  }
  PacketTable table(reader.size);
  for (auto& [index, entry] : reader.written) table[index] = entry;
  return table;
}

bool LoadPacketDatabase(const std::string& path, PacketTable& table, std::string* reason,
                        std::vector<std::string>* warnings) {
  std::string text;
  const char* refusal = Refusal(ReadRegularFile(path, kMaxFileBytes, text));
  PacketTable read;
  if (refusal == nullptr && text.empty()) refusal = "empty";
  if (refusal == nullptr) {
    read = ParsePacketDatabase(text, warnings);
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
