#include "packetdb/packet_database.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>

namespace quib {
namespace {

namespace fs = std::filesystem;

using Slots = std::array<std::int16_t, 10>;

const char* const kNames[] = {"wanttoconnection", "loadendack", "ticksend", "globalmessage",
                              "emotion",          "sndoridori", "walktoxy", "howmanyconnections",
                              "restart"};

PacketEntry Member(const PacketTable& table, std::size_t version, std::string_view name) {
  VersionEntry copy = table.at(version);
  const PacketEntry* member = FindPacketEntry(copy, name);
  return member ? *member : PacketEntry{};
}

bool IsZero(const PacketEntry& entry) {
  return entry.Id == 0 && entry.Length == 0 && entry.Positions == Slots{};
}

bool IsZero(const VersionEntry& entry) {
  VersionEntry copy = entry;
  for (const char* name : kNames) {
    if (!IsZero(*FindPacketEntry(copy, name))) return false;
  }
  return true;
}

bool SameTable(const PacketTable& a, const PacketTable& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t v = 0; v < a.size(); ++v) {
    for (const char* name : kNames) {
      const PacketEntry x = Member(a, v, name);
      const PacketEntry y = Member(b, v, name);
      if (x.Id != y.Id || x.Length != y.Length || x.Positions != y.Positions) return false;
    }
  }
  return true;
}

// Id of a one-line section 5 whose first field is `field`.
std::uint16_t IdOf(const std::string& field) {
  return Member(ParsePacketDatabase("packet_ver: 5\n" + field + ",19,wanttoconnection,2\n"), 5,
                "wanttoconnection")
      .Id;
}

// The entry written by "0x0072,<length>,wanttoconnection,<positions>" in section 5.
PacketEntry EntryOf(const std::string& length, const std::string& positions) {
  return Member(
      ParsePacketDatabase("packet_ver: 5\n0x0072," + length + ",wanttoconnection," + positions), 5,
      "wanttoconnection");
}

const std::string kSample =
    "// sample\n"
    "packet_ver: 5\n"
    "0x0072,19,wanttoconnection,2:6:10:14:18\n"
    "0x007D,2,loadendack,0\n"
    "\n"
    "packet_ver: 6\n"
    "0x0072,22,wanttoconnection,2:6\n";

// --- Lines ----------------------------------------------------------------

TEST(PacketDatabaseLines, CrLfAndLfGiveTheSameTable) {
  std::string crlf;
  for (char c : kSample) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const PacketTable expected = ParsePacketDatabase(kSample);
  ASSERT_EQ(expected.size(), 7u);
  EXPECT_TRUE(SameTable(ParsePacketDatabase(crlf), expected));
  // Stray carriage returns inside a line go too.
  EXPECT_TRUE(SameTable(ParsePacketDatabase("packet_ver: 5\n0x00\r72,1\r9,wanttoconnection\r,2\n"),
                        ParsePacketDatabase("packet_ver: 5\n0x0072,19,wanttoconnection,2\n")));
}

TEST(PacketDatabaseLines, LastLineWithoutLineFeedIsRead) {
  const PacketTable table = ParsePacketDatabase("packet_ver: 5\n0x0072,19,wanttoconnection,2");
  ASSERT_EQ(table.size(), 6u);
  EXPECT_EQ(Member(table, 5, "wanttoconnection").Id, 0x0072);

  EXPECT_EQ(ParsePacketDatabase("packet_ver: 9").size(), 10u);
}

TEST(PacketDatabaseLines, SpacesAroundLineAreTrimmedButTabsStay) {
  PacketTable table =
      ParsePacketDatabase("   packet_ver: 5   \n  0x0072,19,wanttoconnection,2  \n");
  EXPECT_EQ(Member(table, 5, "wanttoconnection").Id, 0x0072);

  // A tab after the name makes it unknown; before the id it stops "0x" from
  // being a prefix, so the id reads as the decimal 0.
  table = ParsePacketDatabase("packet_ver: 5\n0x0072,19,wanttoconnection\t,2\n");
  EXPECT_TRUE(IsZero(table[5]));
  table = ParsePacketDatabase("packet_ver: 5\n\t0x0072,19,wanttoconnection,2\n");
  EXPECT_EQ(Member(table, 5, "wanttoconnection").Id, 1);
}

TEST(PacketDatabaseLines, PacketLinesBeforeFirstHeaderAreSkipped) {
  EXPECT_TRUE(ParsePacketDatabase("0x0072,19,wanttoconnection,2:6:10:14:18\n").empty());

  // Skipped whole: its positions do not carry over into the working entry.
  const PacketTable table = ParsePacketDatabase(
      "0x0072,19,wanttoconnection,2:6:10:14:18\n"
      "packet_ver: 5\n"
      "0x007D,2,loadendack,0\n");
  EXPECT_TRUE(IsZero(Member(table, 5, "wanttoconnection")));
  EXPECT_EQ(Member(table, 5, "loadendack").Positions, (Slots{0}));
}

TEST(PacketDatabaseLines, EmptyTextGivesEmptyTable) {
  EXPECT_TRUE(ParsePacketDatabase("").empty());
  EXPECT_TRUE(ParsePacketDatabase("\n\r\n   \n").empty());
}

// --- Comments and section headers -------------------------------------------

TEST(PacketDatabaseHeaders, CommentAfterSpacesStartsNoSection) {
  EXPECT_TRUE(ParsePacketDatabase("    //packet_ver: 9\n").empty());
  EXPECT_EQ(ParsePacketDatabase("packet_ver: 2\n  //packet_ver: 9\n").size(), 3u);
}

TEST(PacketDatabaseHeaders, VersionIsClampedIntoRange) {
  EXPECT_EQ(ParsePacketDatabase("packet_ver: 0\n").size(), 2u);
  EXPECT_EQ(ParsePacketDatabase("packet_ver: -7\n").size(), 2u);
  EXPECT_EQ(ParsePacketDatabase("packet_ver:\n").size(), 2u);
  EXPECT_EQ(ParsePacketDatabase("packet_ver: 70000\n").size(), 65536u);
  EXPECT_EQ(ParsePacketDatabase("packet_ver: 99999999999999999999999999999999\n").size(), 65536u);
  EXPECT_EQ(ParsePacketDatabase("packet_ver: -99999999999999999999999999999999\n").size(), 2u);
}

TEST(PacketDatabaseHeaders, HeaderForms) {
  EXPECT_EQ(ParsePacketDatabase("packet_ver:5\n").size(), 6u);
  EXPECT_EQ(ParsePacketDatabase("my packet_ver: 5\n").size(), 6u);
  EXPECT_EQ(ParsePacketDatabase("packet_ver: 5 // five\n").size(), 6u);
  EXPECT_EQ(ParsePacketDatabase("packet_ver: 5.5\n").size(), 7u);  // half to even: 6
  // The name must stand before the first colon; such lines are skipped, commas or not.
  EXPECT_TRUE(ParsePacketDatabase("x:packet_ver: 5\n").empty());
  EXPECT_TRUE(ParsePacketDatabase("a,b:packet_ver: 5,c\n").empty());
  // Without the colon it is no header.
  EXPECT_TRUE(ParsePacketDatabase("packet_ver 5\n").empty());
}

TEST(PacketDatabaseHeaders, CopyFromVersionBelowAccumulates) {
  const PacketTable table = ParsePacketDatabase(
      "packet_ver: 1\n"
      "0x0072,19,wanttoconnection,2\n"
      "0x007D,2,loadendack,0\n"
      "packet_ver: 2\n"
      "0x007E,6,ticksend,2\n"
      "packet_ver: 3\n"
      "0x00F5,29,wanttoconnection,3\n");
  ASSERT_EQ(table.size(), 4u);
  EXPECT_TRUE(IsZero(table[0]));
  EXPECT_EQ(Member(table, 3, "wanttoconnection").Id, 0x00F5);
  EXPECT_EQ(Member(table, 3, "wanttoconnection").Length, 29);
  EXPECT_EQ(Member(table, 3, "loadendack").Id, 0x007D);
  EXPECT_EQ(Member(table, 3, "ticksend").Id, 0x007E);
  EXPECT_EQ(Member(table, 2, "wanttoconnection").Id, 0x0072);
  EXPECT_TRUE(IsZero(Member(table, 1, "ticksend")));
}

TEST(PacketDatabaseHeaders, SkippedVersionsStayZeroAndCopyNothing) {
  const PacketTable table = ParsePacketDatabase(
      "packet_ver: 5\n"
      "0x0072,19,wanttoconnection,2\n"
      "packet_ver: 7\n"
      "0x007D,2,loadendack,0\n");
  ASSERT_EQ(table.size(), 8u);
  for (std::size_t v : {0u, 1u, 2u, 3u, 4u, 6u}) EXPECT_TRUE(IsZero(table[v])) << v;
  EXPECT_TRUE(IsZero(Member(table, 7, "wanttoconnection")));
  EXPECT_EQ(Member(table, 7, "loadendack").Id, 0x007D);
}

TEST(PacketDatabaseHeaders, LowerSectionDropsHigherEntries) {
  const PacketTable table = ParsePacketDatabase(
      "packet_ver: 20\n"
      "0x009B,37,wanttoconnection,2\n"
      "packet_ver: 5\n"
      "0x007D,2,loadendack,0\n");
  ASSERT_EQ(table.size(), 6u);
  EXPECT_TRUE(IsZero(Member(table, 5, "wanttoconnection")));
  EXPECT_EQ(Member(table, 5, "loadendack").Id, 0x007D);
}

TEST(PacketDatabaseHeaders, DroppedEntriesStayDroppedWhenTheTableGrowsAgain) {
  const PacketTable table = ParsePacketDatabase(
      "packet_ver: 20\n"
      "0x009B,37,wanttoconnection,2\n"
      "packet_ver: 5\n"
      "packet_ver: 21\n");
  ASSERT_EQ(table.size(), 22u);
  EXPECT_TRUE(IsZero(table[20]));
  EXPECT_TRUE(IsZero(table[21]));
}

TEST(PacketDatabaseHeaders, RepeatedHeaderRestartsSection) {
  const PacketTable table = ParsePacketDatabase(
      "packet_ver: 4\n"
      "0x007E,6,ticksend,2\n"
      "packet_ver: 5\n"
      "0x0072,19,wanttoconnection,2\n"
      "packet_ver: 5\n"
      "0x007D,2,loadendack,0\n");
  ASSERT_EQ(table.size(), 6u);
  EXPECT_TRUE(IsZero(Member(table, 5, "wanttoconnection")));
  EXPECT_EQ(Member(table, 5, "ticksend").Id, 0x007E);
  EXPECT_EQ(Member(table, 5, "loadendack").Id, 0x007D);
}

// --- Packet lines -------------------------------------------------------------

TEST(PacketDatabaseLines, StoresIdLengthAndPositions) {
  const PacketTable table = ParsePacketDatabase(kSample);
  const PacketEntry login = Member(table, 5, "wanttoconnection");
  EXPECT_EQ(login.Id, 0x0072);
  EXPECT_EQ(login.Length, 19);
  EXPECT_EQ(login.Positions, (Slots{2, 6, 10, 14, 18}));
  EXPECT_EQ(Member(table, 5, "globalmessage").Id, 0);
}

TEST(PacketDatabaseLines, UnlistedPositionSlotsCarryOverFromEarlierLines) {
  const PacketTable table = ParsePacketDatabase(kSample);
  EXPECT_EQ(Member(table, 5, "loadendack").Positions, (Slots{0, 6, 10, 14, 18}));
  EXPECT_EQ(Member(table, 6, "wanttoconnection").Positions, (Slots{2, 6, 10, 14, 18}));
  EXPECT_EQ(Member(table, 6, "loadendack").Positions, (Slots{0, 6, 10, 14, 18}));

  // An empty positions field changes no slot, even after a line with more fields.
  const PacketTable empty = ParsePacketDatabase(
      "packet_ver: 5\n"
      "1,2,unknown,7:8:9\n"
      "0x007D,2,loadendack,\n");
  EXPECT_TRUE(IsZero(Member(empty, 5, "loadendack")));  // three fields: not stored
  const PacketTable kept = ParsePacketDatabase(
      "packet_ver: 5\n"
      "1,2,unknown,7:8:9\n"
      "0x007D,2,loadendack,,extra\n");
  EXPECT_EQ(Member(kept, 5, "loadendack").Positions, (Slots{7, 8, 9}));
}

TEST(PacketDatabaseLines, NamesAreComparedExactly) {
  for (const char* line : {"0x0072, 19, wanttoconnection, 2", "0x0072,19,WantToConnection,2",
                           "0x0072,19,wanttoconnection ,2", "0x0072,19,wanttoconnectionx,2"}) {
    EXPECT_TRUE(IsZero(ParsePacketDatabase(std::string("packet_ver: 5\n") + line)[5])) << line;
  }
  // Every one of the nine names reaches its own member.
  std::string text = "packet_ver: 5\n";
  for (int i = 0; i < 9; ++i) text += std::to_string(100 + i) + ",1," + kNames[i] + ",0\n";
  const PacketTable table = ParsePacketDatabase(text);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(Member(table, 5, kNames[i]).Id, 100 + i) << kNames[i];
}

TEST(PacketDatabaseLines, LinesWithFewerThanFourFieldsStoreNothing) {
  for (const char* line :
       {"0x0072,19,wanttoconnection", "0x0072,19,wanttoconnection,", "0x0072,19", "0x0072,", ","}) {
    EXPECT_TRUE(IsZero(ParsePacketDatabase(std::string("packet_ver: 5\n") + line + "\n")[5]))
        << line;
  }
}

TEST(PacketDatabaseLines, FieldsAfterTheFourthAreIgnored) {
  const PacketTable table =
      ParsePacketDatabase("packet_ver: 5\n0x0072,19,wanttoconnection,2:6,ticksend,9,extra\n");
  EXPECT_EQ(Member(table, 5, "wanttoconnection").Positions, (Slots{2, 6}));
  EXPECT_TRUE(IsZero(Member(table, 5, "ticksend")));
}

TEST(PacketDatabaseLines, MoreThanTenPositionsUsesTheFirstTen) {
  EXPECT_EQ(EntryOf("19", "1:2:3:4:5:6:7:8:9:10:11:12:13").Positions,
            (Slots{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

// --- Numbers ----------------------------------------------------------------

TEST(PacketDatabaseNumbers, IdForms) {
  EXPECT_EQ(IdOf("114"), 0x0072);
  EXPECT_EQ(IdOf("0x72"), 0x0072);
  EXPECT_EQ(IdOf("0x0072"), 0x0072);
  EXPECT_EQ(IdOf("0x00bF"), 0x00BF);
  EXPECT_EQ(IdOf("0114"), 114);  // a leading zero is still decimal
  EXPECT_EQ(IdOf("0x 7\t2"), 0x0072);
}

TEST(PacketDatabaseNumbers, IdIsClampedIntoOneTo65534) {
  EXPECT_EQ(IdOf("0X72"), 1);
  EXPECT_EQ(IdOf("0xFFFF"), 65534);
  EXPECT_EQ(IdOf("65535"), 65534);
  EXPECT_EQ(IdOf("0"), 1);
  EXPECT_EQ(IdOf("-5"), 1);
  EXPECT_EQ(IdOf("0x"), 1);
  EXPECT_EQ(IdOf("abc"), 1);
  EXPECT_EQ(IdOf("0x" + std::string(200, 'F')), 65534);
  EXPECT_EQ(IdOf(std::string(200, '9')), 65534);
  EXPECT_EQ(IdOf("-" + std::string(200, '9')), 1);
}

TEST(PacketDatabaseNumbers, DecimalReading) {
  EXPECT_EQ(EntryOf(" 1 9\t", "2").Length, 19);
  EXPECT_EQ(EntryOf("-1", "2").Length, -1);
  EXPECT_EQ(EntryOf("+7", "2").Length, 7);
  EXPECT_EQ(EntryOf("19abc", "2").Length, 19);
  EXPECT_EQ(EntryOf("x19", "2").Length, 0);
  EXPECT_EQ(EntryOf("", "2").Length, 0);
  EXPECT_EQ(EntryOf("1-2", "2").Length, 1);
}

TEST(PacketDatabaseNumbers, FractionsRoundHalfToEven) {
  EXPECT_EQ(EntryOf("2.5", "2").Length, 2);
  EXPECT_EQ(EntryOf("3.5", "2").Length, 4);
  EXPECT_EQ(EntryOf("2.51", "2").Length, 3);
  EXPECT_EQ(EntryOf("2.4999", "2").Length, 2);
  EXPECT_EQ(EntryOf("-2.5", "2").Length, -2);
  EXPECT_EQ(EntryOf("-3.5", "2").Length, -4);
  EXPECT_EQ(EntryOf(".7", "2").Length, 1);
  EXPECT_EQ(EntryOf("4.", "2").Length, 4);
  EXPECT_EQ(EntryOf("2", "1.5:2.5:0.5000001").Positions, (Slots{2, 2, 1}));
}

TEST(PacketDatabaseNumbers, ValuesSaturateAtTheirFieldsWidth) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(EntryOf("2147483647", "2").Length, kMax);
  EXPECT_EQ(EntryOf("2147483648", "2").Length, kMax);
  EXPECT_EQ(EntryOf("-2147483649", "2").Length, kMin);
  EXPECT_EQ(EntryOf(std::string(5000, '9'), "2").Length, kMax);
  EXPECT_EQ(EntryOf("-" + std::string(5000, '9') + ".5", "2").Length, kMin);
  EXPECT_EQ(EntryOf("2", "32767:32768:-32769:99999999999999999999").Positions,
            (Slots{32767, 32767, -32768, 32767}));
}

// --- Odd bytes ----------------------------------------------------------------

TEST(PacketDatabaseBytes, NulBytesAreOrdinaryCharacters) {
  using namespace std::string_literals;
  // A NUL stops a number like any other character and spoils a name.
  PacketTable table =
      ParsePacketDatabase("packet_ver: 5\n0x0072,19\0junk,wanttoconnection,2\0:6\n"s);
  EXPECT_EQ(Member(table, 5, "wanttoconnection").Length, 19);
  EXPECT_EQ(Member(table, 5, "wanttoconnection").Positions, (Slots{2, 6}));
  table = ParsePacketDatabase("packet_ver: 5\n0x0072,19,wanttoconnection\0,2\n"s);
  EXPECT_TRUE(IsZero(table[5]));
}

TEST(PacketDatabaseBytes, ArbitraryBytesNeverBreakTheReader) {
  std::mt19937 random(12345);
  const std::string pieces[] = {"packet_ver:", "0x", ",", ":", "\n", "\r",
                                " ",           "\t", ".", "-", "9",  "wanttoconnection",
                                "//"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) {
      if (random() % 2) {
        text.push_back(static_cast<char>(random() % 256));
      } else {
        text += pieces[random() % std::size(pieces)];
      }
    }
    const PacketTable table = ParsePacketDatabase(text);
    EXPECT_LE(table.size(), 65536u);
  }
}

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
    EXPECT_EQ(reason, "packet_db.txt: " + c.reason + ": " + c.path);
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

// --- The shipped file -------------------------------------------------------------

TEST(ShippedPacketDatabase, EveryDetectableVersionHasCompleteEntry) {
  PacketTable table;
  ASSERT_TRUE(LoadPacketDatabase(QUIB_SOURCE_DIR "/data/packet_db.txt", table));
  ASSERT_EQ(table.size(), 23u);

  struct Login {
    std::size_t version;
    std::uint16_t id;
    std::int32_t length;
  };
  // Versions 14, 17, 19 and 22 are never detected and hold the version below.
  const Login logins[] = {{5, 0x0072, 19},  {6, 0x0072, 22},  {7, 0x0072, 39},  {8, 0x007E, 33},
                          {9, 0x007E, 37},  {10, 0x00F5, 34}, {11, 0x00F5, 32}, {12, 0x00F5, 35},
                          {13, 0x00F5, 29}, {14, 0x00F5, 29}, {15, 0x009B, 32}, {16, 0x009B, 26},
                          {17, 0x009B, 26}, {18, 0x009B, 31}, {19, 0x009B, 31}, {20, 0x009B, 37},
                          {21, 0x009B, 35}, {22, 0x009B, 35}};
  for (const Login& login : logins) {
    const PacketEntry entry = Member(table, login.version, "wanttoconnection");
    EXPECT_EQ(entry.Id, login.id) << "version " << login.version;
    EXPECT_EQ(entry.Length, login.length) << "version " << login.version;
    for (const char* name : kNames) {
      EXPECT_NE(Member(table, login.version, name).Id, 0)
          << "version " << login.version << " " << name;
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
