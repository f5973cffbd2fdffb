#include "packetdb/version_detection.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "net/socket_types.h"
#include "tests/test_support.h"

namespace quib::test {
namespace {

constexpr const char* kFailureTail =
    "), Unable To Determine Packet Version, results may be incomplete.";

class VersionDetectionTest : public ::testing::Test {
 protected:
  VersionDetectionTest() { record.PeerAddress = SocketAddressOf({kLoopbackAddress, 0}); }

  // Appends `bytes` to the record's buffer the way a read does and hands
  // them to the receive step, which runs detection when it is due.
  void Read(const Bytes& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      record.RecvBuffer[record.RecvLength + i] = bytes[i];
    }
    form.TakeReceivedBytes(record, static_cast<std::int32_t>(bytes.size()));
  }
  // A tick whose receive brought nothing.
  void Quiet() { form.TakeReceivedBytes(record, 0); }

  static Bytes Packet(std::uint16_t id, std::size_t size) {
    return Concat({Le16(id), Zeros(size - 2)});
  }

  Form1 form;
  ConnectionRecord record;
};

TEST_F(VersionDetectionTest, EveryRowOfTheTableGivesItsVersion) {
  struct Row {
    std::uint16_t id;
    std::size_t size;
    std::int32_t version;
  };
  // The pairs that versions 14, 17, 19 and 22 would share go to the earlier versions.
  const Row rows[] = {{0x0072, 19, 5},  {0x0072, 22, 6},  {0x0072, 39, 7},  {0x007E, 33, 8},
                      {0x007E, 37, 9},  {0x00F5, 34, 10}, {0x00F5, 32, 11}, {0x00F5, 35, 12},
                      {0x00F5, 29, 13}, {0x009B, 32, 15}, {0x009B, 26, 16}, {0x009B, 31, 18},
                      {0x009B, 37, 20}, {0x009B, 35, 21}};
  for (const Row& row : rows) {
    EXPECT_EQ(DetectPacketVersion(row.id, static_cast<std::int32_t>(row.size)), row.version)
        << std::hex << row.id << std::dec << "/" << row.size;
    // A listed id with a size the table does not list for it is no version.
    EXPECT_EQ(DetectPacketVersion(row.id, 21), std::nullopt);
  }
  for (const std::int32_t id : {0x0001, 0x0073, 0x0000, 0xFFFF}) {
    EXPECT_EQ(DetectPacketVersion(id, 32), std::nullopt);
  }
}

TEST_F(VersionDetectionTest, LaterSuccessOverwritesTheVersion) {
  record.PacketVersion = 7;
  Read(Packet(0x009B, 32));
  EXPECT_EQ(record.PacketVersion, 15);
  EXPECT_TRUE(form.List1.Items().empty());
}

// --- Nothing matches ---------------------------------------------------------

// 21 bytes may still grow into the 22 or 39 of versions 6 and 7: told once a
// tick brings nothing more.
TEST_F(VersionDetectionTest, LoginWithTrailingBytesIsNotRecognisedOnceNothingMoreComes) {
  record.PacketVersion = 7;
  Bytes bytes = Packet(0x0072, 21);
  for (std::size_t i = 2; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  Read(bytes);
  EXPECT_TRUE(form.List1.Items().empty());
  EXPECT_GT(record.DetectionBytes, 0) << "not waiting";
  Quiet();
  EXPECT_EQ(record.PacketVersion, 7);
  ASSERT_EQ(form.List1.Items().size(), 1u);
  EXPECT_EQ(form.List1.Items()[0],
            std::string("7F000001 - (02030405060708090A0B0C0D0E0F1011") + kFailureTail);
  EXPECT_EQ(record.DetectionBytes, 0);
}

// The size is what came since detection was due, however many reads brought
// it: a listed size is told at once, one past the largest listed for the id
// fails at once, anything else once a tick brings nothing.
TEST_F(VersionDetectionTest, MapLoginInPiecesIsToldWhole) {
  constexpr std::size_t kQuiet = 0;
  const struct {
    std::vector<std::size_t> Pieces;  // bytes of each read; kQuiet for a quiet tick
    std::int32_t Version;             // after every piece
    std::size_t Lines;                // failure lines after every piece
    std::size_t WaitingAfter;         // pieces after which it still waited
  } cases[] = {
      {{19}, 5, 0, 0},        {{10, 9}, 5, 0, 1},
      {{1, 18}, 5, 0, 1},     {{18, 1}, 5, 0, 1},
      {{1, 1, 17}, 5, 0, 2},  {{10, 9, 4}, 5, 0, 1},  // the bytes after it are packets of their own
      {{10, 12}, 6, 0, 1},    {{10, kQuiet}, 0, 1, 1},
      {{1, kQuiet}, 0, 1, 1}, {{38, 2}, 0, 1, 1},  // past 39, the largest size listed for 0x0072
      {{45}, 0, 1, 0},
  };
  for (const auto& c : cases) {
    Form1 fresh;
    ConnectionRecord connection;
    connection.PeerAddress = SocketAddressOf({kLoopbackAddress, 0});
    std::size_t total = 0;
    for (const std::size_t piece : c.Pieces) total += piece;
    const Bytes login = Packet(0x0072, std::max<std::size_t>(total, 2));
    std::size_t at = 0;
    std::size_t waited = 0;
    for (const std::size_t piece : c.Pieces) {
      std::copy(login.begin() + static_cast<std::ptrdiff_t>(at),
                login.begin() + static_cast<std::ptrdiff_t>(at + piece),
                connection.RecvBuffer.begin() + connection.RecvLength);
      at += piece;
      fresh.TakeReceivedBytes(connection, static_cast<std::int32_t>(piece));
      if (connection.DetectionBytes > 0) ++waited;
    }
    const std::string name = ::testing::PrintToString(c.Pieces);
    EXPECT_EQ(connection.PacketVersion, c.Version) << name;
    EXPECT_EQ(fresh.List1.Items().size(), c.Lines) << name;
    EXPECT_EQ(waited, c.WaitingAfter) << name;
    EXPECT_EQ(connection.DetectionBytes, 0) << name;
    EXPECT_EQ(connection.FirstPacketId, 0x0072) << name;
  }
}

TEST_F(VersionDetectionTest, DumpIsTakenFromTheWholeBuffer) {
  // Four bytes were already held: the id comes from the new bytes, the dump
  // from offset 2 of the buffer.
  Read({0xAA, 0xBB, 0xCC, 0xDD});
  form.List1.Clear();
  record.RedetectVersion = -1;  // as after a character select
  Bytes login = Packet(0x0072, 21);
  login[2] = 0xEE;
  Read(login);
  Quiet();
  ASSERT_EQ(form.List1.Items().size(), 1u);
  EXPECT_EQ(form.List1.Items()[0],
            std::string("7F000001 - (CCDD7200EE0000000000000000000000") + kFailureTail);
}

TEST_F(VersionDetectionTest, ShortReadOnAFreshConnectionDumpsZerosBeyondIt) {
  Read({0x01, 0x00, 0x11, 0x22, 0x33});
  ASSERT_EQ(form.List1.Items().size(), 1u);
  EXPECT_EQ(form.List1.Items()[0],
            std::string("7F000001 - (11223300000000000000000000000000") + kFailureTail);
}

// --- Through the receive step -------------------------------------------------

class VersionDetectionReceiveTest : public ServerFixture {
 protected:
  void ReceiveUntilData(int client) {
    for (int i = 0; i < 100 && Record(client).RecvLength == 0; ++i) {
      form.ReceiveFromConnection(Record(client));
      if (Record(client).RecvLength == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
};

TEST_F(VersionDetectionReceiveTest, MapLoginAloneInOneReadSetsTheVersion) {
  const int client = Connect();
  Send(client, Concat({Le16(0x0072), Zeros(17)}));
  ReceiveUntilData(client);
  EXPECT_EQ(Record(client).PacketVersion, 5);
  EXPECT_TRUE(Log().empty());
}

}  // namespace
}  // namespace quib::test
