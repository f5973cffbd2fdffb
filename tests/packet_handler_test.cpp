#include "protocol/packet_handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/test_host.h"

namespace quib::test {
namespace {

// Version 1: named ids apart from every fixed one, each with its own length.
// Version 0, as in every table, is all zero.
constexpr const char* kTestTable =
    "packet_ver: 1\n"
    "0x0072,19,wanttoconnection,2:6:10:14:18\n"
    "0x007D,2,loadendack,0\n"
    "0x007E,6,ticksend,2\n"
    "0x008C,-1,globalmessage,2:4\n"
    "0x00BF,3,emotion,2\n"
    "0x01E7,2,sndoridori,0\n"
    "0x0085,5,walktoxy,2\n"
    "0x00C1,2,howmanyconnections,0\n"
    "0x00B2,3,restart,2\n";

// A record the host does not hold: nothing is sent to it.
ConnectionRecord RecordHolding(const Bytes& bytes) {
  ConnectionRecord record;
  record.PeerAddress = SocketAddressOf({kLoopbackAddress, 0});
  std::copy(bytes.begin(), bytes.end(), record.RecvBuffer.begin());
  record.RecvLength = static_cast<std::int32_t>(bytes.size());
  record.PacketVersion = 1;
  return record;
}

// What remains buffered after one packet of `id` (padded to 100 bytes) is handled.
std::int32_t LeftAfter(TestHost& host, std::uint16_t id, std::int32_t version = 1) {
  ConnectionRecord record = RecordHolding(Concat({Le16(id), Zeros(98)}));
  record.PacketVersion = version;
  HandlePacket(host, record);
  return record.RecvLength;
}

class PacketHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override { host.Packets = TableFromText(kTestTable); }
  TestHost host;
};

TEST_F(PacketHandlerTest, FixedIdsAreFramedByTheirKnownLengths) {
  // The login request and the character select end the connection: what
  // was buffered behind them goes with it (100 left gives 0).
  const std::pair<std::uint16_t, std::int32_t> lengths[] = {
      {0x0200, 26}, {0x0204, 18}, {0x0064, 100}, {0x01DD, 100}, {0x020B, 19}, {0x0065, 17},
      {0x0187, 6},  {0x0068, 46}, {0x0067, 37},  {0x0066, 100}, {0x01C0, 2},  {0x009B, 14}};
  for (const auto& [id, length] : lengths) {
    EXPECT_EQ(LeftAfter(host, id), 100 - length) << std::hex << id;
  }
}

TEST_F(PacketHandlerTest, NamedIdsAreFramedByTheirVersionLengths) {
  const std::pair<std::uint16_t, std::int32_t> lengths[] = {{0x0072, 19}, {0x007D, 2}, {0x007E, 6},
                                                            {0x00BF, 3},  {0x01E7, 2}, {0x0085, 5},
                                                            {0x00C1, 2},  {0x00B2, 3}};
  for (const auto& [id, length] : lengths) {
    EXPECT_EQ(LeftAfter(host, id), 100 - length) << std::hex << id;
  }
}

// The length field counts the whole packet, head included; one below 4 frames
// the head alone.
TEST_F(PacketHandlerTest, GlobalMessageIsFramedByItsLengthField) {
  for (const auto& [field, left] : {std::pair{14, 30}, {4, 40}, {3, 40}, {0, 40}}) {
    ConnectionRecord record = RecordHolding(
        Concat({Le16(0x008C), Le16(static_cast<std::uint16_t>(field)), Zeros(10), Zeros(30)}));
    HandlePacket(host, record);
    EXPECT_EQ(record.RecvLength, left) << field;
  }
}

// Once no more bytes come, a packet is handled with what it holds.
TEST_F(PacketHandlerTest, OneByteOfLoginIsHandledAsLoginThenDropped) {
  ConnectionRecord record = RecordHolding(Bytes{0x64});
  HandlePacket(host, record);
  EXPECT_EQ(record.RecvLength, 0);  // shorter than its 55 bytes: nothing stays
  EXPECT_EQ(host.Log, (std::vector<std::string>{"Short Packet (0x64) - 7F000001: 1 of 55 bytes",
                                                "CharSvrReq - 7F000001"}));
}

// --- A packet not yet whole ---------------------------------------------------

// It waits while its rest is coming; once a receive brings nothing it is
// handled with what it holds, the log saying so first. A length past the
// buffer cannot be waited for.
TEST_F(PacketHandlerTest, AShortPacketWaitsWhileItsRestIsComing) {
  const struct {
    const char* Name;
    Bytes Held;
    std::int32_t QuietMs;  // since the last receive that brought bytes; -1: this one did
    bool Hidden;
    std::int32_t Left;
    std::vector<std::string> Lines;
  } cases[] = {
      {"walk, 3 of 5, coming", {0x85, 0x00, 0x01}, -1, false, 3, {}},
      {"walk, 3 of 5, quiet",
       {0x85, 0x00, 0x01},
       250,
       false,
       0,
       {"Short Packet (0x85) - 7F000001: 3 of 5 bytes"}},
      // A tick that comes soon after another, as after an accept's wait.
      {"walk, 3 of 5, nothing for 15 ms", {0x85, 0x00, 0x01}, 15, false, 3, {}},
      {"walk, 3 of 5, quiet, hidden", {0x85, 0x00, 0x01}, 250, true, 0, {}},
      {"walk, whole, coming", {0x85, 0x00, 0x01, 0x02, 0x03, 0xBF}, -1, false, 1, {}},
      {"one byte of an id, coming", {0x85}, -1, false, 1, {}},
      {"a chat's length field cut, coming", {0x8C, 0x00, 0x09}, -1, false, 3, {}},
      {"a chat of 9, 6 held, coming",
       Concat({Le16(0x008C), Le16(9), Bytes{'h', 'i'}}),
       -1,
       false,
       6,
       {}},
      // Longer than the buffer: it waits for the buffer to fill.
      {"a chat past the buffer, coming",
       Concat({Le16(0x008C), Le16(0x0900), Zeros(6)}),
       -1,
       false,
       10,
       {}},
      {"a chat past the buffer, quiet",
       Concat({Le16(0x008C), Le16(0x0900), Zeros(6)}),
       250,
       false,
       0,
       {"Short Packet (0x8C) - 7F000001: 10 of 2304 bytes"}},
      {"a chat past the buffer, the buffer full",
       Concat({Le16(0x008C), Le16(0x0900), Bytes(kBufferSize - 4, 'a')}),
       -1,
       false,
       0,
       {"Chat Text Cut (0x8C) - 7F000001: 2040 of 2300 bytes"}},
      {"an unknown id, coming",
       Concat({Le16(0x7777), Zeros(3)}),
       -1,
       false,
       0,
       {"Unknown Packet (0x7777) - 7F000001"}},
  };
  host.Quiet = std::chrono::milliseconds(250);
  for (const auto& c : cases) {
    host.Log.clear();
    host.HideUnknown = c.Hidden;
    ConnectionRecord record = RecordHolding(c.Held);
    record.Receive.NewBytes = c.QuietMs < 0;
    record.Receive.LastBytes = host.Clock - std::chrono::milliseconds(std::max(c.QuietMs, 0));
    HandlePacket(host, record);
    EXPECT_EQ(record.RecvLength, c.Left) << c.Name;
    EXPECT_EQ(host.Log, c.Lines) << c.Name;
    // The rest of a chat past the buffer is skipped as it comes.
    if (c.Left == 0 && c.Held[0] == 0x8C) {
      EXPECT_EQ(record.Receive.SkipLength, 0x0900 - static_cast<std::int32_t>(c.Held.size()));
    }
  }
}

TEST_F(PacketHandlerTest, AMapLoginWaitsForItsVersionToBeTold) {
  ConnectionRecord record = RecordHolding(Concat({Le16(0x0072), Zeros(17)}));
  record.Receive.DetectionBytes = 19;
  HandlePacket(host, record);
  EXPECT_EQ(record.RecvLength, 19);
  record.Receive.DetectionBytes = 0;
  HandlePacket(host, record);
  EXPECT_EQ(record.RecvLength, 0);
}

// --- Ids a version shares with a fixed id ------------------------------------

TEST_F(PacketHandlerTest, SharedIdGoesToTheCaseTestedFirst) {
  auto& version = host.Packets[1];
  // wanttoconnection and ticksend come before 0x009B: their table length wins.
  version.wanttoconnection = {0x009B, 19, {}};
  EXPECT_EQ(LeftAfter(host, 0x009B), 100 - 19);
  version.wanttoconnection = {0x0072, 19, {}};
  version.ticksend = {0x009B, 6, {}};
  EXPECT_EQ(LeftAfter(host, 0x009B), 100 - 6);
  // globalmessage comes after 0x009B, loadendack after 0x01C0.
  version.ticksend = {0x007E, 6, {}};
  version.globalmessage = {0x009B, -1, {}};
  EXPECT_EQ(LeftAfter(host, 0x009B), 100 - 14);
  version.loadendack = {0x01C0, 9, {}};
  EXPECT_EQ(LeftAfter(host, 0x01C0), 100 - 2);
  // A login id in a version entry stays a login.
  version.emotion = {0x0064, 3, {}};
  EXPECT_EQ(LeftAfter(host, 0x0064), 0);
  EXPECT_EQ(host.Log.back(), "CharSvrReq - 7F000001");
}

// --- Id 0 ------------------------------------------------------------------------

TEST_F(PacketHandlerTest, IdZeroDoesNothingAndIsFramedOnlyByAnEntryWithIdZero) {
  EXPECT_EQ(LeftAfter(host, 0x0000), 0);  // no entry has it: the buffer empties
  host.Packets[1].restart = {0x0000, 7, {}};
  EXPECT_EQ(LeftAfter(host, 0x0000), 100 - 7);
  EXPECT_TRUE(host.Log.empty());  // never logged as unknown
}

// --- Lengths that cannot frame a packet ----------------------------------------

TEST_F(PacketHandlerTest, LengthOfZeroOrBelowEmptiesTheBuffer) {
  host.Packets[1].walktoxy.Length = 0;
  EXPECT_EQ(LeftAfter(host, 0x0085), 0);
  host.Packets[1].walktoxy.Length = -1;
  EXPECT_EQ(LeftAfter(host, 0x0085), 0);
  // Version 0 is one that no line wrote: every entry has id 0 and length 0.
  EXPECT_EQ(LeftAfter(host, 0x0000, 0), 0);
  for (const std::int16_t value : {-4, -5, -32768}) {
    ConnectionRecord record =
        RecordHolding(Concat({Le16(0x008C), Le16(static_cast<std::uint16_t>(value)), Zeros(40)}));
    HandlePacket(host, record);
    EXPECT_EQ(record.RecvLength, 0) << value;
  }
}

// --- Versions without an entry -----------------------------------------------------

TEST_F(PacketHandlerTest, VersionWithoutEntryTakesNamedIdsAsUnknown) {
  for (const std::int32_t version : {2, 5000, -1}) {
    host.Log.clear();
    EXPECT_EQ(LeftAfter(host, 0x0072, version), 0);
    EXPECT_EQ(host.Log, std::vector<std::string>{"Unknown Packet (0x72) - 7F000001"});
  }
  EXPECT_EQ(LeftAfter(host, 0x0065, 2), 100 - 17);  // fixed ids still work
  host.Packets.clear();
  EXPECT_EQ(LeftAfter(host, 0x0072), 0);
}

}  // namespace
}  // namespace quib::test
