#include "capture/packet_capture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "capture/tcp_ip_headers.h"
#include "tests/small_disk.h"
#include "tests/test_support.h"
#include "tests/tshark.h"

// Every allocation in this test program is counted, so that a test can tell
// whether the capture allocates per frame.
namespace {
std::atomic<std::size_t> gAllocations{0};
}
void* operator new(std::size_t size) {
  ++gAllocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace quib {
namespace {

using test::Bytes;
using test::EndsOnAWholeBlock;
using test::SmallDisk;
using test::ToolRun;
using test::Tshark;
constexpr std::uint32_t kLoopback = 0x7F000001;

TEST(PacketCaptureTest, ChecksumsMatchKnownVectors) {
  const struct {
    Bytes bytes;
    std::uint16_t checksum;
  } cases[] = {
      {{0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11,   // an IPv4 header,
        0x00, 0x00, 0xC0, 0xA8, 0x00, 0x01, 0xC0, 0xA8, 0x00, 0xC7},  // checksum zeroed
       0xB861},
      {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},
      {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7, 0xAB}, 0x770C},  // odd: padded
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FoldChecksum(SumWords(c.bytes.data(), c.bytes.size(), 0)), c.checksum);
  }
}

Bytes Pattern(std::size_t count, std::uint8_t seed) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
  return bytes;
}

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "quib_" + name + "_" + std::to_string(getpid()) + ".pcapng";
}

// Three interleaved conversations, then what tshark makes of them.
TEST(PacketCaptureTest, AnalyserSeesWholeConversationsWithEveryByteAndComment) {
  const std::string path = TempPath("capture");
  const test::Tshark tshark(path, 6900);
  if (!tshark.Available()) GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh test)";
  PacketCapture capture;
  std::string error;
  ASSERT_TRUE(capture.Open(path, error)) << error;
  std::map<std::uint64_t, std::pair<Bytes, Bytes>> sent;  // id: to server, to client
  Timestamp t = 1'700'000'000'000'000;
  auto client = [&](std::uint64_t id, const Bytes& b, std::string_view comment) {
    capture.ClientData(id, b.data(), b.size(), comment, t += 1000);
    sent[id].first.insert(sent[id].first.end(), b.begin(), b.end());
  };
  auto server = [&](std::uint64_t id, const Bytes& b) {
    capture.ServerData(id, b.data(), b.size(), {}, t += 1000);
    sent[id].second.insert(sent[id].second.end(), b.begin(), b.end());
  };
  capture.BeginConversation(1, kLoopback, 50001, kLoopback, 6900, t);
  capture.BeginConversation(2, kLoopback, 50002, kLoopback, 6900, t += 10);
  client(1, Pattern(55, 1), "0x0064 login, 55 bytes");
  server(2, Pattern(256 * 1024 + 1, 2));  // a queue flush: split into frames
  server(1, Pattern(47, 3));
  capture.BeginConversation(7, 0x0A010203, 40000, kLoopback, 6900, t += 10);
  client(7, Pattern(1, 4), "one byte, Grüße");
  client(1, Pattern(19, 5), "");
  client(2, Pattern(7, 6), "after the flood");
  capture.ClientData(99, sent[1].first.data(), 5, "no such conversation", t);
  capture.EndConversation(1, PacketCapture::EndKind::kClientClosed, t += 1000);
  capture.EndConversation(2, PacketCapture::EndKind::kServerClosed, t += 1000);
  capture.EndConversation(7, PacketCapture::EndKind::kReset, t += 1000);
  capture.ServerData(7, sent[7].first.data(), 1, {}, t);  // ended: ignored
  ASSERT_TRUE(capture.Close()) << capture.LastError();

  EXPECT_EQ(tshark.Faults(), "");
  EXPECT_EQ(tshark.Conversations(), (std::set<std::string>{"127.0.0.1:50001 127.0.0.1:6900",
                                                           "127.0.0.1:50002 127.0.0.1:6900",
                                                           "10.1.2.3:40000 127.0.0.1:6900"}));
  // Streams count in the order of the first frames: ids 1, 2, 7.
  const std::uint64_t ids[] = {1, 2, 7};
  for (int stream = 0; stream < 3; ++stream) {
    const auto follow = tshark.Follow(stream);
    EXPECT_EQ(follow.ToServer, sent[ids[stream]].first) << "stream " << stream;
    EXPECT_EQ(follow.ToClient, sent[ids[stream]].second) << "stream " << stream;
  }

  // SYN, SYN-ACK, ACK and data in all three; then FIN twice, or RST.
  std::set<std::string> completeness;
  std::istringstream complete(tshark.Run("-2 -T fields -e tcp.stream -e tcp.completeness").out);
  for (std::string line; std::getline(complete, line);) completeness.insert(line);
  EXPECT_EQ(completeness, (std::set<std::string>{"0\t31", "1\t31", "2\t47"}));

  EXPECT_EQ(tshark.Run("-Y frame.comment -T fields -e ip.src -e tcp.srcport -e frame.comment").out,
            "127.0.0.1\t50001\t0x0064 login, 55 bytes\n"
            "10.1.2.3\t40000\tone byte, Grüße\n"
            "127.0.0.1\t50002\tafter the flood\n");
  std::remove(path.c_str());
}

TEST(PacketCaptureTest, FramesAllocateNothing) {
  const std::string path = TempPath("allocations");
  PacketCapture capture;
  std::string error;
  ASSERT_TRUE(capture.Open(path, error)) << error;
  capture.BeginConversation(1, kLoopback, 50001, kLoopback, 6900, TimestampNow());
  const Bytes small = Pattern(2048, 1), large = Pattern(256 * 1024, 2);
  const std::size_t before = gAllocations;
  for (int i = 0; i < 40; ++i) {
    capture.ClientData(1, small.data(), small.size(), "a comment of some length", TimestampNow());
    capture.ServerData(1, large.data(), large.size(), "a reply", TimestampNow());
  }
  EXPECT_TRUE(capture.Flush());
  EXPECT_EQ(gAllocations - before, 0u);
  capture.Close();
  std::remove(path.c_str());
}

TEST(PacketCaptureTest, FileThatCannotBeOpenedSaysWhy) {
  PacketCapture capture;
  std::string error;
  EXPECT_FALSE(capture.Open("/no/such/folder/capture.pcapng", error));
  EXPECT_FALSE(capture.IsOpen());
  EXPECT_EQ(error,
            "Unable to open the capture file /no/such/folder/capture.pcapng: "
            "No such file or directory");
}

// A full disk ends the capture at the write that meets it, at a flush or at
// once when a frame overflows the buffer, and the file is left ending on its
// last whole block: the analyser reads it to its end.
TEST(PacketCaptureTest, AFullDiskStopsTheCaptureOnAWholeBlock) {
  for (const std::size_t size : {std::size_t{1000}, std::size_t{100 * 1024}}) {
    SmallDisk disk(256 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
    const std::string path = disk.Path("capture.pcapng");
    PacketCapture capture;
    std::string error;
    ASSERT_TRUE(capture.Open(path, error)) << error;
    capture.BeginConversation(1, kLoopback, 50001, kLoopback, 6900, TimestampNow());
    const Bytes bytes = Pattern(size, 1);
    for (int i = 0; i < 1000 && capture.IsOpen(); ++i) {
      capture.ServerData(1, bytes.data(), bytes.size(), {}, TimestampNow());
      capture.Flush();
    }
    EXPECT_FALSE(capture.IsOpen());
    EXPECT_EQ(capture.LastError(),
              "Unable to write the capture file " + path + ": No space left on device");
    capture.ClientData(1, bytes.data(), bytes.size(), "after the failure", TimestampNow());
    capture.EndConversation(1, PacketCapture::EndKind::kReset, TimestampNow());

    std::size_t blocks = 0;
    EXPECT_TRUE(EndsOnAWholeBlock(path, blocks)) << size;
    EXPECT_GT(blocks, 2u);
    const Tshark tshark(path, 6900);
    if (tshark.Available()) {
      const ToolRun read = tshark.Run("-q");
      EXPECT_EQ(read.status, 0) << read.err;
    }

    ASSERT_TRUE(capture.Open(TempPath("reopened"), error)) << error;
    EXPECT_EQ(capture.LastError(), "");
    EXPECT_TRUE(capture.Close());
    std::remove(TempPath("reopened").c_str());
  }
}

// Only a regular file is a target; anything else is refused at once and
// left as it was: opening a FIFO without a reader would wait for one.
TEST(PacketCaptureTest, OnlyARegularFileIsATarget) {
  const std::string fifo = TempPath("fifo");
  std::remove(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/null"), std::string("/tmp")}) {
    PacketCapture capture;
    std::string error;
    EXPECT_FALSE(capture.Open(path, error));
    EXPECT_EQ(error, "Unable to open the capture file " + path + ": not a regular file");
  }
  std::remove(fifo.c_str());
}

}  // namespace
}  // namespace quib
