// The packet database reader's cost, its lookups, the loading of a file and
// the shipped packet_db.txt.
#include <gtest/gtest.h>

#include "packetdb/database_summary.h"
#include "packetdb/packet_database.h"
#include "packetdb/version_detection.h"
#ifndef _WIN32
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>

#include "tests/packet_database_support.h"

namespace quib {
namespace {

namespace fs = std::filesystem;

using test::kNames;
using test::kSample;
using test::Member;
using test::SameTable;

// --- Cost ---------------------------------------------------------------------
// Measured in a child process, from its memory figures (Linux).
#ifndef _WIN32

struct Cost {
  double seconds = 0;
  long peakGrowthKb = 0;
};

// The process's peak resident memory (Linux).
long PeakKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  }
  return -1;
}

// Reads `text` in a child process, whose peak memory is this reading's alone.
// Nullopt when the child gives no answer within 20 seconds.
std::optional<Cost> CostOfReading(const std::string& text) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child == 0) {
    // Freed memory goes back first, so the reading cannot reuse it unseen;
    // the peak starts again from the memory in use now.
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = PeakKb();
    const auto start = std::chrono::steady_clock::now();
    const PacketTable table = ParsePacketDatabase(text);
    Cost cost;
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.peakGrowthKb = PeakKb() - before;
    const bool sent = ::write(fds[1], &cost, sizeof cost) == static_cast<ssize_t>(sizeof cost);
    ::_exit(sent && !table.empty() ? 0 : 1);
  }
  ::close(fds[1]);
  std::optional<Cost> answer;
  pollfd ready{fds[0], POLLIN, 0};
  Cost cost;
  if (child > 0 && ::poll(&ready, 1, 20000) == 1 &&
      ::read(fds[0], &cost, sizeof cost) == sizeof cost) {
    answer = cost;
  }
  ::close(fds[0]);
  if (child > 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  return answer;
}

// Lines of millions of separators and tens of thousands of headers that
// resize the table each: time and memory stay in proportion to the text.
TEST(PacketDatabaseCost, HostileTextsReadInLinearTimeAndMemory) {
  constexpr std::size_t kFifteenMiB = std::size_t{15} << 20;
  std::string headers;
  while (headers.size() < 1000000) headers += "packet_ver: 65535\npacket_ver: 1\n";
  const std::pair<const char*, std::string> texts[] = {
      {"commas", "packet_ver: 5\n" + std::string(kFifteenMiB, ',')},
      {"colons", "packet_ver: 5\n0x0072,19,wanttoconnection," + std::string(kFifteenMiB, ':')},
      {"headers", headers},
  };
  for (const auto& [name, text] : texts) {
    const std::optional<Cost> cost = CostOfReading(text);
    ASSERT_TRUE(cost.has_value()) << name << ": no answer in time";
    EXPECT_LT(cost->seconds, 3.0) << name;
    // Room for a copy of the longest line, or for the largest table (16 MiB).
    EXPECT_LT(cost->peakGrowthKb, 64 * 1024) << name;
  }
}

#endif

// --- Lookups and loading ------------------------------------------------------

TEST(PacketDatabaseLookup, FindVersionOnlyWithinTable) {
  const PacketTable table = ParsePacketDatabase(kSample);
  EXPECT_EQ(FindVersion(table, 6), &table[6]);
  EXPECT_EQ(FindVersion(table, 0), &table[0]);
  EXPECT_EQ(FindVersion(table, 7), nullptr);
  EXPECT_EQ(FindVersion(table, -1), nullptr);
  EXPECT_EQ(FindVersion(table, std::numeric_limits<std::int32_t>::min()), nullptr);
  EXPECT_EQ(FindVersion(PacketTable{}, 0), nullptr);
}

TEST(PacketDatabaseLookup, FindPacketEntryByExactName) {
  VersionEntry entry;
  EXPECT_EQ(FindPacketEntry(entry, "walktoxy"), &entry.walktoxy);
  EXPECT_EQ(FindPacketEntry(entry, "restart"), &entry.restart);
  EXPECT_EQ(FindPacketEntry(entry, "Restart"), nullptr);
  EXPECT_EQ(FindPacketEntry(entry, ""), nullptr);
}

class LoadPacketDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    dir = fs::temp_directory_path() / ("quib_packet_db_" + std::to_string(seed()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string Write(const std::string& bytes, const std::string& name = "packet_db.txt") {
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  fs::path dir;
};

TEST_F(LoadPacketDatabaseTest, RefusedFileKeepsTableAndSaysWhy) {
  struct Case {
    std::string path;
    std::string reason;
  };
  // A header and a comment line of `size` bytes in all.
  const auto sized = [](std::size_t size) {
    return "packet_ver: 5\n//" + std::string(size - 17, 'x') + "\n";
  };
  const Case cases[] = {
      {(dir / "absent.txt").string(), "missing or unreadable"},
      {Write("// only\n0x0072,19,wanttoconnection,2\n", "comments.txt"), "no packet_ver section"},
      {Write(sized((16 << 20) + 1), "large.txt"), "too large (over 16 MiB)"},
  };
  for (const Case& c : cases) {
    PacketTable table = ParsePacketDatabase(kSample);
    std::string reason;
    EXPECT_FALSE(LoadPacketDatabase(c.path, table, &reason)) << c.reason;
    EXPECT_EQ(reason, c.reason + ": " + c.path);
    EXPECT_EQ(table.size(), 7u) << c.reason;
  }
  // Exactly at the limit still loads.
  PacketTable table;
  ASSERT_TRUE(LoadPacketDatabase(Write(sized(16 << 20)), table));
  EXPECT_EQ(table.size(), 6u);
}

TEST_F(LoadPacketDatabaseTest, ReadsFileIntoTable) {
  PacketTable table = ParsePacketDatabase("packet_ver: 30\n");
  ASSERT_TRUE(LoadPacketDatabase(Write(kSample), table));
  EXPECT_TRUE(SameTable(table, ParsePacketDatabase(kSample)));
}

// Twenty thousand mistakes of one kind: start-up names the file and the
// line of the first five, then counts the rest.
TEST_F(LoadPacketDatabaseTest, StartUpSaysTheFirstMistakesOfEachKindAndHowManyMore) {
  std::string text = "packet_ver: 5\n0x0072,19,wanttoconnection,2\n";
  for (int i = 0; i < 20000; ++i) text += "0x0085,5,walktoxyy,2\n";
  const std::string path = Write(text + "0X85,5,walktoxy,2\n");
  PacketTable table;
  std::vector<std::string> lines;
  ASSERT_TRUE(LoadAndDescribePacketDatabase(path, table, lines, nullptr));
  const std::string warning = "Warning: packet database: " + path;
  ASSERT_EQ(lines.size(), 9u);  // the summary, 5 + 1 said, 1 counted, versions 6 to 21
  EXPECT_EQ(lines[5], warning +
                          ", line 7: \"walktoxyy\" is none of the nine packet names (did "
                          "you mean walktoxy?); the line stores nothing");
  EXPECT_EQ(lines[6], warning +
                          ", line 20003: the id \"0X85\" is not wholly a number; read as "
                          "0x0001");
  EXPECT_EQ(lines[7], warning +
                          ": 19995 more packet lines with a name that is none of the nine "
                          "(--check-db says each)");
}

// Which versions the file lists whose clients cannot reach the map, and the
// warning that says why.
TEST(PacketDatabaseVersions, ListedVersionsThatCannotReachTheMap) {
  const std::string login5 = "packet_ver: 5\n0x0072,19,wanttoconnection,2\n";
  const std::string login13 = "packet_ver: 13\n0x00F5,29,wanttoconnection,2\n";
  struct Case {
    std::string Text;
    std::vector<std::int32_t> Unreached;
    std::string Said;  // the warning's end, after "version"
  };
  const Case cases[] = {
      {login5, {}, ""},
      // Never told apart, version 14 is told as 13, whose login it shares.
      {login13 + "packet_ver: 14\n", {}, ""},
      {"packet_ver: 5\n0x0072,20,wanttoconnection,2\n",
       {5},
       " 5's map login (wanttoconnection) is 0x0072 of 20 bytes where detection tells version 5 "
       "by 0x0072 of 19 bytes"},
      // A section without its own login holds the one below.
      {login5 + "packet_ver: 6\n", {6}, " 6's map login (wanttoconnection) is 0x0072 of 19 bytes"},
      {login13 + "packet_ver: 14\n0x00F5,30,wanttoconnection,2\n",
       {14},
       " 14's map login, 0x00F5 of 30 bytes, tells detection no version"},
      {"packet_ver: 14\n0x00F5,29,wanttoconnection,2\n",
       {14},
       " 14's map login, 0x00F5 of 29 bytes, is told as version 13, whose own map login differs"},
      {"packet_ver: 30\n", {30}, " 30 has no map login (wanttoconnection)"},
      // Dropped by the lower header after it.
      {"packet_ver: 20\n0x009B,37,wanttoconnection,2\n" + login5,
       {20},
       "s 6 to 13, 15, 16, 18, 20"},
  };
  for (const Case& c : cases) {
    ReadReport report;
    const PacketTable table = ParsePacketDatabase(c.Text, &report);
    EXPECT_EQ(VersionsThatCannotReachTheMap(table, report.Listed), c.Unreached) << c.Text;
    std::string said;
    for (const std::string& line : VersionWarnings(table, report.Listed)) said += line + "\n";
    const std::string wanted = c.Said.empty() ? "cannot reach" : "database: version" + c.Said;
    EXPECT_EQ(said.find(wanted) == std::string::npos, c.Said.empty()) << said;
  }
}

// --- The shipped file -------------------------------------------------------------

TEST(ShippedPacketDatabase, EveryDetectableVersionHasCompleteEntry) {
  PacketTable table;
  ReadReport report;
  ASSERT_TRUE(LoadPacketDatabase(QUIB_SOURCE_DIR "/data/packet_db.txt", table, nullptr, &report));
  // No mistake, and every version it lists reaches the map.
  EXPECT_EQ(report.Found, decltype(report.Found){});
  EXPECT_EQ(VersionsThatCannotReachTheMap(table, report.Listed), std::vector<std::int32_t>{});
  EXPECT_EQ(VersionWarnings(table, report.Listed), std::vector<std::string>{});
  const std::vector<std::int32_t> detectable = DetectableVersions();
  ASSERT_FALSE(detectable.empty());
  ASSERT_GT(table.size(), static_cast<std::size_t>(detectable.back()));

  // Each version detection can tell has a map login of the id and size it is
  // told by, and all nine packets.
  for (const DetectionRow& row : DetectionTable()) {
    const auto version = static_cast<std::size_t>(row.Version);
    const PacketEntry entry = Member(table, version, "wanttoconnection");
    EXPECT_EQ(entry.Id, row.PacketId) << "version " << version;
    EXPECT_EQ(entry.Length, row.BytesReceived) << "version " << version;
    for (const std::string_view name : kNames) {
      EXPECT_NE(Member(table, version, name).Id, 0) << "version " << version << " " << name;
    }
  }
  // The versions above the first that detection never tells hold the one below.
  for (auto version = detectable.front() + 1; version < static_cast<std::int32_t>(table.size());
       ++version) {
    if (std::find(detectable.begin(), detectable.end(), version) != detectable.end()) continue;
    for (const std::string_view name : kNames) {
      const PacketEntry entry = Member(table, static_cast<std::size_t>(version), name);
      const PacketEntry below = Member(table, static_cast<std::size_t>(version) - 1, name);
      EXPECT_EQ(entry.Id, below.Id) << "version " << version << " " << name;
      EXPECT_EQ(entry.Length, below.Length) << "version " << version << " " << name;
    }
  }
  const PacketEntry chat = Member(table, 5, "globalmessage");
  EXPECT_EQ(chat.Id, 0x008C);
  EXPECT_EQ(chat.Length, -1);
  EXPECT_EQ(chat.Positions[0], 2);
  EXPECT_EQ(chat.Positions[1], 4);
  EXPECT_EQ(Member(table, 5, "walktoxy").Positions[0], 2);
}

}  // namespace
}  // namespace quib
