#include "protocol/unknown_packets.h"

#include <gtest/gtest.h>

#include <string>

namespace quib {
namespace {

constexpr std::size_t kKept = UnknownPackets::kKept;

// Packet i is log line 100 + i, with its own text and i % 256 as its one byte.
void AddPackets(UnknownPackets& store, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const auto byte = static_cast<std::uint8_t>(i);
    store.Add(100 + i, "line " + std::to_string(i), {}, &byte, 1);
  }
}

TEST(UnknownPacketsTest, TheNewestAreKeptAndAnEvictedLineIsFoundNoMore) {
  for (const std::size_t added : {std::size_t{1}, kKept - 1, kKept, kKept + 1, 2 * kKept + 3}) {
    UnknownPackets store;
    AddPackets(store, added);
    const std::size_t held = std::min(added, kKept);
    ASSERT_EQ(store.Count(), held) << added;
    for (const std::size_t back : {std::size_t{0}, std::size_t{1}, held - 1}) {
      if (back >= held) continue;
      const std::size_t i = added - 1 - back;
      const UnknownPackets::Packet& newest = store.Newest(back);
      EXPECT_EQ(newest.Line, 100 + i) << added << " back " << back;
      const UnknownPackets::Packet* found = store.Find(100 + i);
      ASSERT_NE(found, nullptr) << added << " back " << back;
      EXPECT_EQ(found->Text, "line " + std::to_string(i));
      EXPECT_EQ(found->Length, 1);
      EXPECT_EQ(found->Bytes[0], static_cast<std::uint8_t>(i));
    }
    // The oldest kept is the first after the evicted ones.
    EXPECT_EQ(store.Newest(held - 1).Line, 100 + added - held) << added;
    if (added > kKept) {
      EXPECT_EQ(store.Find(100 + added - held - 1), nullptr) << added;
      EXPECT_EQ(store.Find(100), nullptr) << added;
    }
    EXPECT_EQ(store.Find(100 + added), nullptr) << added;
  }
}

TEST(UnknownPacketsTest, ASlotReusedHoldsOnlyItsNewPacket) {
  UnknownPackets store;
  const PacketBuffer full{};
  store.Add(1, "long", {}, full.data(), kBufferSize + 50);  // at most a buffer is kept
  EXPECT_EQ(store.Newest(0).Length, kBufferSize);
  AddPackets(store, kKept - 1);
  const std::uint8_t byte = 7;
  store.Add(5000, "short", "12:04:05.120 [#3 127.0.0.1:52344] ", &byte, 1);  // the slot of "long"
  EXPECT_EQ(store.Find(1), nullptr);
  EXPECT_EQ(DescribeUnknownPacket(*store.Find(5000)),
            "12:04:05.120 [#3 127.0.0.1:52344] short (1 bytes buffered)\n"
            "0000  07                                                .\n");
  store.Clear();
  EXPECT_EQ(store.Count(), 0u);
  EXPECT_EQ(store.Find(5000), nullptr);
}

}  // namespace
}  // namespace quib
