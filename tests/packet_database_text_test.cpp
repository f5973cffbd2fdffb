// The packet database reader on text: lines, section headers, packet lines,
// numbers and odd bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "packetdb/packet_database.h"
#include "tests/packet_database_support.h"
#include "tests/packet_database_texts.h"

namespace quib {
namespace {

using test::IsZero;
using test::kNames;
using test::kSample;
using test::Member;
using test::SameTable;
using test::Slots;

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
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    text += std::to_string(100 + i) + ",1," + std::string(kNames[i]) + ",0\n";
  }
  const PacketTable table = ParsePacketDatabase(text);
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    EXPECT_EQ(Member(table, 5, kNames[i]).Id, 100 + i) << kNames[i];
  }
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

// --- Mistakes -----------------------------------------------------------------

// Each mistake of a text, said once as "LINE: what", in the order of the lines;
// comments and blank lines are never mistakes.
TEST(PacketDatabaseMistakes, EachIsSaidOnceWithItsLine) {
  using namespace std::string_literals;
  const std::string none = "; the line stores nothing";
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"// a comment\n\n  \r\n\t\n\t// packet_ver 9\npacket_ver: 5\n"
       "0x0072,19,wanttoconnection,2:6\n0x8C,-1.5,restart,,x\n",
       {}},
      {"0x0072,19,wanttoconnection,2\npacket_ver: 5\n",
       {"1: \"0x0072,19,wanttoconnection,2\" comes before the first section header; it is "
        "skipped"}},
      {"packet_ver 5\nx:packet_ver: 5\npacket_ver: abc\npacket_ver: -7\n",
       {"1: \"packet_ver 5\" is no comment, section header (\"packet_ver: N\") or packet line; it "
        "is skipped",
        "2: \"x:packet_ver: 5\" is no comment, section header (\"packet_ver: N\") or packet line; "
        "it is skipped",
        "3: \"packet_ver: abc\" has no version number; read as version 1",
        "4: \"packet_ver: -7\" is outside the versions 1 to 65535; read as version 1"}},
      {"packet_ver: 5\n0x0085,5,walktoxyy,2\n0x0072, 19, wanttoconnection, 2\n"
       "0x0072,19,WantToConnection,2\n0x0072,19,login,2\n",
       {"2: \"walktoxyy\" is none of the nine packet names (did you mean walktoxy?)" + none,
        "3: \" wanttoconnection\" is none of the nine packet names (did you mean "
        "wanttoconnection?)" +
            none,
        "4: \"WantToConnection\" is none of the nine packet names (did you mean "
        "wanttoconnection?)" +
            none,
        "5: \"login\" is none of the nine packet names" + none}},
      {"packet_ver: 5\n0x0072,19,wanttoconnection\n,\n",
       {"2: \"0x0072,19,wanttoconnection\" has 3 fields where a packet line has four (id, "
        "length, name, positions); it stores nothing",
        "3: \",\" has 1 field where a packet line has four (id, length, name, positions); it "
        "stores nothing"}},
      {"packet_ver: 5\n0X72,19x,wanttoconnection,2::a\n0x,19\0z,emotion,2\n"s,
       {"2: the id \"0X72\" is not wholly a number; read as 0x0001",
        "2: the length \"19x\" is not wholly a number; read as 19",
        "2: position 2 \"\" is not a number; read as 0",
        "2: position 3 \"a\" is not a number; read as 0",
        "3: the id \"0x\" is not a number; read as 0x0001",
        "3: the length \"19\\x00z\" is not wholly a number; read as 19"}},
      {"packet_ver: 5\n0xFFFF,19,wanttoconnection,2\n-3,19,walktoxy,2\n",
       {"2: the id \"0xFFFF\" is outside 0x0001 to 0xFFFE; read as 0xFFFE",
        "3: the id \"-3\" is outside 0x0001 to 0xFFFE; read as 0x0001"}},
      {"packet_ver: 5\n0x0072,19,wanttoconnection,1:2:3:4:5:6:7:8:9:10:11:12:13:14:15:16:17\n",
       {"2: the positions \"1:2:3:4:5:6:7:8:9:10:11:12:13:14:15:16:1...\" are more than ten; "
        "those past the tenth are ignored"}},
  };
  for (const auto& [text, expected] : cases) {
    std::vector<std::string> said;
    ReadReport report;
    report.Say = [&said](const DatabaseMistake& mistake) {
      said.push_back(std::to_string(mistake.Line) + ": " + mistake.What);
    };
    EXPECT_TRUE(SameTable(ParsePacketDatabase(text, &report), ParsePacketDatabase(text))) << text;
    EXPECT_EQ(said, expected) << text;
  }
}

// --- The texts both readers are held to ----------------------------------------

// Read from a file, each text gives the table it gives as text; one with no
// section is refused.
TEST(PacketDatabaseTexts, EachReadsTheSameFromAFile) {
  const std::string path = ::testing::TempDir() + "quib_database_text_" +
                           std::to_string(std::random_device()()) + ".txt";
  for (const test::DatabaseText& text : test::DatabaseTexts()) {
    std::ofstream(path, std::ios::binary) << text.Text;
    const PacketTable parsed = ParsePacketDatabase(text.Text);
    PacketTable loaded;
    EXPECT_EQ(LoadPacketDatabase(path, loaded), !parsed.empty()) << text.Name;
    EXPECT_TRUE(SameTable(loaded, parsed.empty() ? PacketTable{} : parsed)) << text.Name;
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace quib
