#include "packetdb/database_summary.h"

#include <cstdint>
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

}  // namespace

std::vector<std::string> DescribePacketDatabase(const std::string& path, const PacketTable& table,
                                                const std::vector<std::string>& readWarnings) {
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

  std::vector<std::string> lines{summary};
  for (const std::string& warning : readWarnings) {
    lines.push_back("Warning: packet database: " + warning);
  }
  std::vector<std::int32_t> missing;
  for (const std::int32_t version : DetectableVersions()) {
    const VersionEntry* entry = FindVersion(table, version);
    if (entry == nullptr || entry->wanttoconnection.Id == 0) missing.push_back(version);
  }
  if (!missing.empty()) {
    const bool one = missing.size() == 1;
    lines.push_back("Warning: packet database: " + std::string(one ? "version " : "versions ") +
                    Runs(missing) + (one ? " has" : " have") + " no map login (" +
                    std::string(PacketMemberName(&VersionEntry::wanttoconnection)) +
                    "): clients detected as " + (one ? "it" : "those") +
                    " get no answer in the map");
  }
  return lines;
}

}  // namespace quib
