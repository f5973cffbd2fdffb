#include "console/output_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace quib {
namespace {

// A reader that takes at most `room` bytes, then waits; -1 once it is gone.
struct Reader {
  std::string taken;
  std::size_t room = 0;
  bool gone = false;

  OutputQueue::Writer Writer() {
    return [this](const char* bytes, std::size_t count) -> long {
      if (gone) return -1;
      const std::size_t n = std::min(count, room);
      taken.append(bytes, n);
      room -= n;
      return static_cast<long>(n);
    };
  }
};

OutputQueue LogQueue() { return {kLogOutputLimit, OutputQueue::Bound::kEntryFits}; }

TEST(OutputQueueTest, AStalledReaderCostsLinesNotTheServerAndIsToldHowMany) {
  OutputQueue log = LogQueue();
  Reader reader;
  const std::string line(99, 'x');  // 100 bytes with its line feed
  const std::size_t fits = kLogOutputLimit / 100;
  for (std::size_t i = 0; i < fits + 7; ++i) log.AppendLine(line);
  log.Flush(reader.Writer());
  EXPECT_TRUE(log.Pending());
  EXPECT_EQ(log.TakeDroppedNotice(), 0u) << "said before the reader took anything";

  reader.room = 250;  // two and a half lines
  log.Flush(reader.Writer());
  EXPECT_EQ(log.TakeDroppedNotice(), 7u);
  EXPECT_EQ(log.TakeDroppedNotice(), 0u) << "said once";

  reader.room = kLogOutputLimit;
  log.AppendLine("last");
  log.Flush(reader.Writer());
  EXPECT_FALSE(log.Pending());
  EXPECT_EQ(reader.taken.size(), fits * 100 + 5);
  EXPECT_EQ(reader.taken.substr(reader.taken.size() - 5), "last\n");
}

TEST(OutputQueueTest, AReaderThatWentAwayGetsNothingMore) {
  OutputQueue log = LogQueue();
  Reader reader;
  reader.gone = true;
  log.AppendLine("a");
  log.Flush(reader.Writer());
  EXPECT_FALSE(log.Pending());
  log.AppendLine("b");
  EXPECT_FALSE(log.Pending());
}

// Messages are kept while less than the bound waits before them, so that one
// long message goes whole to a reader that keeps up; the count is told only
// once there is room again.
TEST(OutputQueueTest, AMessageIsKeptWholeWhileThereIsRoomBeforeIt) {
  OutputQueue messages(kMessagesOutputLimit, OutputQueue::Bound::kRoomBefore);
  Reader reader;
  const std::string longer(kMessagesOutputLimit * 3, 'b');
  messages.Append(longer);
  messages.Append("dropped\n");
  messages.Append("dropped too\n");
  reader.room = 10;
  EXPECT_TRUE(messages.Flush(reader.Writer()));
  EXPECT_EQ(messages.TakeDroppedNotice(), 0u) << "told while the queue is still over its bound";

  reader.room = longer.size();
  messages.Flush(reader.Writer());
  EXPECT_FALSE(messages.Pending());
  EXPECT_EQ(messages.TakeDroppedNotice(), 2u);
  messages.Append("kept\n");
  messages.Flush(reader.Writer());
  EXPECT_EQ(reader.taken, longer + "kept\n");
}

}  // namespace
}  // namespace quib
