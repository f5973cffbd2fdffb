#include "console/log_output.h"

#include <gtest/gtest.h>

#include <string>

namespace quib {
namespace {

// A reader that takes at most `room` bytes, then waits; -1 once it is gone.
struct Reader {
  std::string taken;
  std::size_t room = 0;
  bool gone = false;

  LogOutput::Writer Writer() {
    return [this](const char* bytes, std::size_t count) -> long {
      if (gone) return -1;
      const std::size_t n = std::min(count, room);
      taken.append(bytes, n);
      room -= n;
      return static_cast<long>(n);
    };
  }
};

TEST(LogOutputTest, AStalledReaderCostsLinesNotTheServerAndIsToldHowMany) {
  LogOutput log;
  Reader reader;
  const std::string line(99, 'x');  // 100 bytes with its line feed
  const std::size_t fits = LogOutput::kLimit / 100;
  for (std::size_t i = 0; i < fits + 7; ++i) log.Append(line);
  log.Flush(reader.Writer());
  EXPECT_TRUE(log.Pending());
  EXPECT_EQ(log.TakeDroppedNotice(), 0u) << "said before the reader took anything";

  reader.room = 250;  // two and a half lines
  log.Flush(reader.Writer());
  EXPECT_EQ(log.TakeDroppedNotice(), 7u);
  EXPECT_EQ(log.TakeDroppedNotice(), 0u) << "said once";

  reader.room = LogOutput::kLimit;
  log.Append("last");
  log.Flush(reader.Writer());
  EXPECT_FALSE(log.Pending());
  EXPECT_EQ(reader.taken.size(), fits * 100 + 5);
  EXPECT_EQ(reader.taken.substr(reader.taken.size() - 5), "last\n");
}

TEST(LogOutputTest, AReaderThatWentAwayGetsNothingMore) {
  LogOutput log;
  Reader reader;
  reader.gone = true;
  log.Append("a");
  log.Flush(reader.Writer());
  EXPECT_FALSE(log.Pending());
  log.Append("b");
  EXPECT_FALSE(log.Pending());
}

}  // namespace
}  // namespace quib
