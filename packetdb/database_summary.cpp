#include "packetdb/database_summary.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "packetdb/version_detection.h"

namespace quib {

namespace {

int PacketCount(const VersionEntry& entry) {
  int count = 0;
  for (const PacketMember& member : kPacketMembers) {
    if ((entry.*member.Entry).Id != 0) ++count;
  }
  return count;
}

const std::string kWarning = "Warning: packet database: ";
const std::string kMapLogin =
    "map login (" + std::string(PacketMemberName(&VersionEntry::wanttoconnection)) + ")";

// A map login: the id and the length a client sends it with.
struct Login {
  std::int32_t Id = 0;
  std::int32_t Length = 0;
  bool operator==(const Login&) const = default;
};

std::string LoginText(const Login& login) {
  return IdText(login.Id) + " of " + std::to_string(login.Length) + " bytes";
}

// The map login the table gives `version`; nullopt when it gives none.
std::optional<Login> TableLogin(const PacketTable& table, std::int32_t version) {
  const VersionEntry* entry = FindVersion(table, version);
  if (entry == nullptr || entry->wanttoconnection.Id == 0) return std::nullopt;
  return Login{entry->wanttoconnection.Id, entry->wanttoconnection.Length};
}

// The map logins detection tells `version` by; none for a version it never
// chooses.
std::vector<Login> DetectedLogins(std::int32_t version) {
  std::vector<Login> logins;
  for (const DetectionRow& row : DetectionTable()) {
    if (row.Version == version) logins.push_back({row.PacketId, row.BytesReceived});
  }
  return logins;
}

// Why clients of `version` cannot reach the map, as the end of a sentence
// that starts with the version; empty when they can.
std::string WhyNotReached(const PacketTable& table, std::int32_t version) {
  const std::optional<Login> login = TableLogin(table, version);
  if (!login) return " has no " + kMapLogin;
  const std::vector<Login> detected = DetectedLogins(version);
  if (!detected.empty()) {
    if (std::find(detected.begin(), detected.end(), *login) != detected.end()) return {};
    return "'s " + kMapLogin + " is " + LoginText(*login) + " where detection tells version " +
           std::to_string(version) + " by " + LoginText(detected.front());
  }
  // A version detection never chooses: its clients are told by the login the
  // table gives it, as another version.
  const std::optional<std::int32_t> told = DetectPacketVersion(login->Id, login->Length);
  if (!told) return "'s map login, " + LoginText(*login) + ", tells detection no version";
  if (TableLogin(table, *told) == login) return {};
  return "'s map login, " + LoginText(*login) + ", is told as version " + std::to_string(*told) +
         ", whose own map login differs";
}

}  // namespace

// "5 to 13, 15, 16": runs of consecutive numbers.
std::string Runs(const std::vector<std::int32_t>& numbers) {
  std::string text;
  for (std::size_t i = 0; i < numbers.size();) {
    std::size_t last = i;
    while (last + 1 < numbers.size() && numbers[last + 1] == numbers[last] + 1) ++last;
    if (!text.empty()) text += ", ";
    text += std::to_string(numbers[i]);
    if (last > i + 1) {
      text += " to " + std::to_string(numbers[last]);
    } else if (last == i + 1) {
      text += ", " + std::to_string(numbers[last]);
    }
    i = last + 1;
  }
  return text;
}

std::string DatabaseSummary(const std::string& path, const PacketTable& table) {
  // Versions with the same number of packets, in runs: "5 to 22 with 9 packets each".
  std::vector<std::pair<int, std::vector<std::int32_t>>> groups;
  for (std::size_t version = 1; version < table.size(); ++version) {
    const int count = PacketCount(table[version]);
    if (count == 0) continue;
    if (groups.empty() || groups.back().first != count ||
        groups.back().second.back() + 1 != static_cast<std::int32_t>(version)) {
      groups.push_back({count, {}});
    }
    groups.back().second.push_back(static_cast<std::int32_t>(version));
  }
  std::string summary = "Packet database " + path + ": ";
  if (groups.empty()) summary += "no version holds a packet";
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const auto& [count, versions] = groups[i];
    summary += (i == 0 ? "" : "; ") + std::string(versions.size() == 1 ? "version " : "versions ") +
               Runs(versions) + " with " + std::to_string(count) +
               (count == 1 ? " packet" : " packets") + (versions.size() == 1 ? "" : " each");
  }
  return summary;
}

std::string MistakeWarning(const std::string& path, const DatabaseMistake& mistake) {
  return kWarning + path + ", line " + std::to_string(mistake.Line) + ": " + mistake.What;
}

std::vector<std::string> VersionWarnings(const PacketTable& table,
                                         const std::set<std::int32_t>& listed) {
  std::vector<std::string> lines;
  std::vector<std::int32_t> missing;
  const std::vector<std::int32_t> detectable = DetectableVersions();
  for (const std::int32_t version : detectable) {
    if (!TableLogin(table, version)) missing.push_back(version);
  }
  if (!missing.empty()) {
    const bool one = missing.size() == 1;
    lines.push_back(kWarning + std::string(one ? "version " : "versions ") + Runs(missing) +
                    (one ? " has" : " have") + " no " + kMapLogin + ": clients detected as " +
                    (one ? "it" : "those") + " get no answer in the map");
  }
  std::set<std::int32_t> versions = listed;
  versions.insert(detectable.begin(), detectable.end());
  for (const std::int32_t version : versions) {
    // A detectable version without a login is in the line above.
    if (std::find(missing.begin(), missing.end(), version) != missing.end()) continue;
    const std::string why = WhyNotReached(table, version);
    if (why.empty()) continue;
    std::string line = kWarning;
    line.append("version ").append(std::to_string(version)).append(why);
    lines.push_back(line.append(": its clients cannot reach the map"));
  }
  return lines;
}

std::vector<std::int32_t> VersionsThatCannotReachTheMap(const PacketTable& table,
                                                        const std::set<std::int32_t>& listed) {
  std::vector<std::int32_t> versions;
  for (const std::int32_t version : listed) {
    if (!WhyNotReached(table, version).empty()) versions.push_back(version);
  }
  return versions;
}

bool LoadAndDescribePacketDatabase(const std::string& path, PacketTable& table,
                                   std::vector<std::string>& lines, std::string* reason) {
  std::vector<DatabaseMistake> said;
  ReadReport report;
  report.SaidPerKind = kMistakesSaidPerKind;
  report.Say = [&said](const DatabaseMistake& mistake) { said.push_back(mistake); };
  if (!LoadPacketDatabase(path, table, reason, &report)) return false;
  lines = {DatabaseSummary(path, table)};
  for (const DatabaseMistake& mistake : said) lines.push_back(MistakeWarning(path, mistake));
  for (std::size_t kind = 0; kind < kMistakeKinds; ++kind) {
    if (report.Found[kind] <= kMistakesSaidPerKind) continue;
    lines.push_back(kWarning + path + ": " +
                    std::to_string(report.Found[kind] - kMistakesSaidPerKind) + " more " +
                    std::string(kMistakePlurals[kind]) + " (--check-db says each)");
  }
  const std::vector<std::string> versions = VersionWarnings(table, report.Listed);
  lines.insert(lines.end(), versions.begin(), versions.end());
  return true;
}

}  // namespace quib
