#include "net/send_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace quib {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A push of `count` bytes (started: its first bytes have gone out) or a drop
// of `count` bytes that the socket took.
struct Step {
  enum Kind { kPush, kDrop } What;
  std::size_t Count;
  bool Started = false;
};

// Every pushed byte is its own number in the order of pushing, so what the
// queue holds reads as a range of them.
struct Range {
  std::uint8_t From;
  std::uint8_t To;
};

Bytes Numbers(Range range) {
  Bytes bytes;
  for (int i = range.From; i < range.To; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
  return bytes;
}

Bytes Held(const SendQueue& queue) { return Bytes(queue.Data(), queue.Data() + queue.Size()); }

TEST(SendQueueTest, HoldsTheRestInOrderAndKeepsOnlyThePacketAlreadyBegun) {
  using enum Step::Kind;
  const struct {
    const char* Name;
    std::vector<Step> Steps;
    Range Queued;  // what waits to go out
    Range Kept;    // what a connection given up on still sends
  } cases[] = {
      {"nothing of it out: all dropped", {{kPush, 5}, {kPush, 3}}, {0, 8}, {0, 0}},
      {"pushed partly out", {{kPush, 5, true}, {kPush, 3}}, {0, 8}, {0, 5}},
      {"dropped into the first", {{kPush, 5}, {kPush, 3}, {kDrop, 2}}, {2, 8}, {2, 5}},
      {"dropped to a boundary", {{kPush, 5}, {kPush, 3}, {kDrop, 5}}, {5, 8}, {0, 0}},
      // Past half the bytes the front is given back: the bookkeeping moves.
      {"dropped into the second, compacted",
       {{kPush, 5}, {kPush, 3}, {kPush, 2}, {kDrop, 6}},
       {6, 10},
       {6, 8}},
      {"pushed after compacting",
       {{kPush, 4}, {kPush, 4}, {kDrop, 5}, {kPush, 3}},
       {5, 11},
       {5, 8}},
      {"drained, then refilled afresh", {{kPush, 4, true}, {kDrop, 4}, {kPush, 3}}, {4, 7}, {0, 0}},
      {"dropped past its end", {{kPush, 4, true}, {kDrop, 10}}, {0, 0}, {0, 0}},
      {"an empty push is no packet", {{kPush, 0, true}, {kPush, 3}}, {0, 3}, {0, 0}},
  };
  for (const auto& c : cases) {
    SendQueue queue;
    std::uint8_t next = 0;
    for (const Step& step : c.Steps) {
      if (step.What == kDrop) {
        queue.Drop(step.Count);
        continue;
      }
      const Bytes bytes = Numbers({next, static_cast<std::uint8_t>(next + step.Count)});
      next = static_cast<std::uint8_t>(next + step.Count);
      queue.Push(bytes.data(), bytes.size(), step.Started);
    }
    EXPECT_EQ(Held(queue), Numbers(c.Queued)) << c.Name;
    queue.KeepStartedPacket();
    EXPECT_EQ(Held(queue), Numbers(c.Kept)) << c.Name;
    EXPECT_EQ(queue.Empty(), c.Kept.From == c.Kept.To) << c.Name;
  }
}

// A queue that never drains stays in step however long it runs.
TEST(SendQueueTest, ALongTrickleKeepsEveryByteInOrder) {
  SendQueue queue;
  Bytes expected;
  std::uint8_t next = 0;
  for (int round = 0; round < 1000; ++round) {
    const Bytes packet = Numbers({next, static_cast<std::uint8_t>(next + 7)});
    next = static_cast<std::uint8_t>(next + 7);
    queue.Push(packet.data(), packet.size(), false);
    expected.insert(expected.end(), packet.begin(), packet.end());
    queue.Drop(5);
    expected.erase(expected.begin(), expected.begin() + 5);
  }
  ASSERT_EQ(Held(queue), expected);
  // 5000 bytes out are 714 packets of 7 and 2 bytes of the next: its other
  // 5 are what must still go.
  queue.KeepStartedPacket();
  EXPECT_EQ(Held(queue), Bytes(expected.begin(), expected.begin() + 5));
}

// The capture comments each packet where it starts: a packet whose first
// bytes went out has none left to give.
TEST(SendQueueTest, EachPacketKeepsItsCommentUntilItsStartGoesOut) {
  SendQueue queue;
  const Bytes bytes = Numbers({0, 9});
  queue.Push(bytes.data(), 4, false, "first");
  queue.Push(bytes.data() + 4, 3, false, nullptr);
  queue.Push(bytes.data() + 7, 2, false, "third");
  EXPECT_STREQ(queue.FrontComment(), "first");
  EXPECT_EQ(queue.FrontLength(), 4u);
  queue.Drop(1);
  EXPECT_EQ(queue.FrontComment(), nullptr);
  EXPECT_EQ(queue.FrontLength(), 3u);
  queue.Drop(3);
  EXPECT_EQ(queue.FrontComment(), nullptr);
  queue.Drop(3);
  EXPECT_STREQ(queue.FrontComment(), "third");
  queue.Clear();
  queue.Push(bytes.data(), 2, true, "started");
  EXPECT_EQ(queue.FrontComment(), nullptr);
}

}  // namespace
}  // namespace quib
