// The journal's text and its file: JSON that stays valid UTF-8 whatever the
// bytes, and the capture's file rules (a switch loses nothing, the same file
// under another name goes on, a full disk stops it on a whole line).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "journal/journal_lines.h"
#include "journal/json_line.h"
#ifndef _WIN32
#include "tests/small_disk.h"
#endif

namespace quib {
namespace {

std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(JournalTest, TextIsEscapedAndAlwaysValidUtf8) {
  const struct {
    std::string In;
    std::string Out;
  } cases[] = {
      {"plain text", "plain text"},
      {"a\"b\\c", "a\\\"b\\\\c"},
      {std::string("\n\t\r\x01\x7F", 5), "\\n\\t\\r\\u0001\\u007f"},
      {"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"},
      {"hello \xE9!", "hello \xEF\xBF\xBD!"},                    // a Latin-1 byte
      {"cut \xC3", "cut \xEF\xBF\xBD"},                          // a sequence cut short
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // an overlong form
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // past U+10FFFF
      {std::string(700, 'a') + "\"", std::string(700, 'a') + "\\\""},  // longer than a line's room
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonText(c.In), c.Out) << c.In;
  }
}

// The time of a line, made afresh or from the last line's within its second,
// as Python's datetime writes it.
TEST(JournalTest, TimeIsUtcToTheMillisecond) {
  const struct {
    std::int64_t UnixMs;
    const char* Utc;
  } cases[] = {
      {0, "1970-01-01T00:00:00.000Z"},
      {951782400000, "2000-02-29T00:00:00.000Z"},
      {1709251199999, "2024-02-29T23:59:59.999Z"},
      {1796849460123, "2026-12-09T20:51:00.123Z"},
      {1796849460999, "2026-12-09T20:51:00.999Z"},  // the same second as the last
      {1796849461000, "2026-12-09T20:51:01.000Z"},  // the next
      {4102444800000, "2100-01-01T00:00:00.000Z"},
  };
  LineTime last;
  for (const auto& c : cases) {
    const LineTime time(c.UnixMs, 0, &last);
    EXPECT_EQ(std::string(time.Utc.data(), time.Utc.size()), c.Utc) << c.UnixMs;
  }
}

// Every event goes to one file or the other; the file the journal writes,
// named again, goes on and keeps what it holds; anything but a regular file
// is refused and the journal that runs goes on.
TEST(JournalTest, SwitchingLosesNothingAndTheSameFileGoesOn) {
  const std::string a = ::testing::TempDir() + "quib_journal_a.jsonl";
  const std::string b = ::testing::TempDir() + "quib_journal_b.jsonl";
  Form1 form;
  std::vector<std::string> told;
  const EventSubscription outcomes(
      form.Events, KindsOf({EventKind::kOutcome}),
      [&](const ConnectionEvent& event) { told.emplace_back(event.Text); });
  std::string error;
  ASSERT_TRUE(form.StartJournal(a, error)) << error;
  form.Tell("one");
  ASSERT_TRUE(form.StartJournal(::testing::TempDir() + "./quib_journal_a.jsonl", error));
  ASSERT_FALSE(form.StartJournal(::testing::TempDir(), error));
  EXPECT_TRUE(error.starts_with("Unable to open the journal file " + ::testing::TempDir() + ": "))
      << error;
  EXPECT_TRUE(error.ends_with("; the journal to " + a + " goes on")) << error;
  form.Tell("two");
  ASSERT_TRUE(form.StartJournal(b, error)) << error;
  form.Tell("three");
  form.StopJournal();
  EXPECT_EQ(told,
            (std::vector<std::string>{"Journal started: " + a, "one",
                                      "Journal to " + a + " goes on: " + ::testing::TempDir() +
                                          "./quib_journal_a.jsonl is the file it writes",
                                      "two", "Journal to " + a + " stopped; journal started: " + b,
                                      "three", "Journal stopped: " + b}));

  const std::string first = Joined(FileLines(a));
  const std::string second = Joined(FileLines(b));
  for (const char* text : {"one", "two"}) {
    EXPECT_NE(first.find(std::string("\"text\":\"") + text), std::string::npos) << text;
    EXPECT_EQ(second.find(std::string("\"text\":\"") + text), std::string::npos) << text;
  }
  EXPECT_NE(second.find("\"text\":\"three\""), std::string::npos);
  EXPECT_TRUE(first.starts_with("{\"event\":\"journal\","));
  EXPECT_TRUE(second.starts_with("{\"event\":\"journal\","));
  std::remove(a.c_str());
  std::remove(b.c_str());
}

// What a run came to, counted from the stream: each milestone once per
// connection, whatever a journal does.
TEST(JournalTest, TheSummaryCountsTheStream) {
  RunSummary summary;
  ConnectionRecord first, second;
  first.Conversation = 1;
  second.Conversation = 2;
  const ConnectionEvent events[] = {
      {.Kind = EventKind::kAccepted, .Connection = &first},
      {.Kind = EventKind::kAccepted, .Connection = &second},
      {.Kind = EventKind::kMilestone,
       .Connection = &first,
       .Step = Milestone::kMap,
       .FirstTime = true},
      {.Kind = EventKind::kMilestone,
       .Connection = &first,
       .Step = Milestone::kLogin,
       .FirstTime = true},
      {.Kind = EventKind::kMilestone,
       .Connection = &first,
       .Step = Milestone::kMap,
       .FirstTime = false},
      {.Kind = EventKind::kUnknown},
      {.Kind = EventKind::kShortPacket},
      {.Kind = EventKind::kDetectFailed},
      {.Kind = EventKind::kPacketIn},
  };
  for (const ConnectionEvent& event : events) CountEvent(summary, event);
  EXPECT_EQ(summary.Connections, 2u);
  EXPECT_EQ(summary.ReachedCount(Milestone::kMap), 1u);
  EXPECT_EQ(summary.ReachedCount(Milestone::kLogin), 1u);
  EXPECT_EQ(summary.UnknownPackets + summary.ShortPackets + summary.DetectFailed, 3u);
  // The furthest of each connection, not its latest; none for the second.
  ASSERT_EQ(summary.FurthestReached.size(), 2u);
  EXPECT_TRUE(summary.FurthestReached[0].Reached);
  EXPECT_EQ(summary.FurthestReached[0].Step, Milestone::kMap);
  EXPECT_FALSE(summary.FurthestReached[1].Reached);
}

#ifndef _WIN32
// A disk that fills stops the journal with its reason, the file ending on
// its last whole line.
TEST(JournalTest, AFullDiskStopsTheJournalOnAWholeLine) {
  test::SmallDisk disk(64 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  const std::string path = disk.Path("journal.jsonl");
  Form1 form;
  std::string error;
  ASSERT_TRUE(form.StartJournal(path, error)) << error;
  std::string last;
  const EventSubscription outcomes(form.Events, KindsOf({EventKind::kOutcome}),
                                   [&](const ConnectionEvent& event) { last = event.Text; });
  for (int i = 0; i < 2000 && form.Journal.IsOpen(); ++i) {
    form.Tell(std::string(100, 'x'));
    if (i % 50 == 0) form.FlushJournal();
  }
  EXPECT_FALSE(form.Journal.IsOpen());
  EXPECT_EQ(last, "Journal stopped: Unable to write the journal file " + path +
                      ": No space left on device");
  std::ifstream file(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  for (const std::string& line : FileLines(path)) EXPECT_TRUE(line.ends_with("}")) << line;
}
#endif

}  // namespace
}  // namespace quib
