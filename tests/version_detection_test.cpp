#include "packetdb/version_detection.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "protocol/receive_path.h"
#include "tests/test_host.h"

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
    TakeReceivedBytes(host, record, static_cast<std::int32_t>(bytes.size()));
  }
  // A tick whose receive brought nothing.
  void Quiet() { TakeReceivedBytes(host, record, 0); }

  static Bytes Packet(std::uint16_t id, std::size_t size) {
    return Concat({Le16(id), Zeros(size - 2)});
  }

  TestHost host;
  ConnectionRecord record;
};

// The table is packetdb's; what is tested here is how detection reads it.
TEST_F(VersionDetectionTest, EveryRowOfTheTableGivesItsVersionAndNothingElseDoes) {
  const auto table = DetectionTable();
  ASSERT_FALSE(table.empty());
  std::vector<std::int32_t> versions;
  for (const DetectionRow& row : table) {
    EXPECT_EQ(DetectPacketVersion(row.PacketId, row.BytesReceived), row.Version)
        << std::hex << row.PacketId << std::dec << "/" << row.BytesReceived;
    // A listed id with a size the table does not list for it is no version.
    for (const std::int32_t size : {row.BytesReceived - 1, row.BytesReceived + 1}) {
      const bool listed = std::any_of(table.begin(), table.end(), [&](const DetectionRow& other) {
        return other.PacketId == row.PacketId && other.BytesReceived == size;
      });
      if (!listed) {
        EXPECT_EQ(DetectPacketVersion(row.PacketId, size), std::nullopt);
      }
    }
    EXPECT_LE(row.BytesReceived, LargestMapLoginSize(row.PacketId));
    versions.push_back(row.Version);
  }
  // Each row gave its own version, so no row hides another; those versions
  // are the ones detection can choose.
  std::sort(versions.begin(), versions.end());
  versions.erase(std::unique(versions.begin(), versions.end()), versions.end());
  EXPECT_EQ(DetectableVersions(), versions);
  for (const std::int32_t id : {0x0001, 0x0073, 0x0000, 0xFFFF}) {
    EXPECT_EQ(DetectPacketVersion(id, 32), std::nullopt);
    EXPECT_EQ(LargestMapLoginSize(id), 0);
  }
  // Two rows by their literal values, held apart from the table.
  EXPECT_EQ(DetectPacketVersion(0x0072, 19), 5);
  EXPECT_EQ(DetectPacketVersion(0x009B, 32), 15);
}

TEST_F(VersionDetectionTest, LaterSuccessOverwritesTheVersion) {
  record.PacketVersion = 7;
  Read(Packet(0x009B, 32));
  Quiet();
  EXPECT_EQ(record.PacketVersion, 15);
  EXPECT_TRUE(host.Log.empty());
}

// --- Nothing matches ---------------------------------------------------------

// 21 bytes may still grow into the 22 or 39 of versions 6 and 7: told once a
// tick brings nothing more.
TEST_F(VersionDetectionTest, LoginWithTrailingBytesIsNotRecognisedOnceNothingMoreComes) {
  record.PacketVersion = 7;
  Bytes bytes = Packet(0x0072, 21);
  for (std::size_t i = 2; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  Read(bytes);
  EXPECT_TRUE(host.Log.empty());
  EXPECT_GT(record.Receive.DetectionBytes, 0) << "not waiting";
  Quiet();
  EXPECT_EQ(record.PacketVersion, 7);
  ASSERT_EQ(host.Log.size(), 1u);
  EXPECT_EQ(host.Log[0],
            std::string("7F000001 - (02030405060708090A0B0C0D0E0F1011") + kFailureTail);
  EXPECT_EQ(record.Receive.DetectionBytes, 0);
}

// The size is what came since detection was due, however many reads brought
// it. The largest size listed for the id is told at once, and so is one past
// it; any other size once a tick brings nothing more, as a listed size may be
// the start of a longer login. Past a listed size, what follows it is packets
// of its own.
TEST_F(VersionDetectionTest, MapLoginInPiecesIsToldWhole) {
  constexpr std::size_t kQuiet = 0;
  const struct {
    std::vector<std::size_t> Pieces;  // bytes of each read; kQuiet for a quiet tick
    std::int32_t Version;             // after every piece
    std::size_t Lines;                // failure lines after every piece
    std::size_t WaitingAfter;         // pieces after which it still waited
  } cases[] = {
      {{19, kQuiet}, 5, 0, 1},
      {{10, 9, kQuiet}, 5, 0, 2},
      {{1, 18, kQuiet}, 5, 0, 2},
      {{18, 1, kQuiet}, 5, 0, 2},
      {{1, 1, 17, kQuiet}, 5, 0, 3},
      {{10, 9, 4, kQuiet}, 5, 0, 3},
      {{10, 12, kQuiet}, 6, 0, 2},
      {{19, 3, kQuiet}, 6, 0, 2},  // 22 cut where 19 is listed
      {{19, 20}, 7, 0, 1},
      {{39}, 7, 0, 0},  // 39, the largest listed for 0x0072
      {{19, 25}, 5, 0, 1},
      {{10, kQuiet}, 0, 1, 1},
      {{1, kQuiet}, 0, 1, 1},
      {{38, 2}, 0, 1, 1},
      {{45}, 0, 1, 0},
  };
  for (const auto& c : cases) {
    TestHost fresh;
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
      TakeReceivedBytes(fresh, connection, static_cast<std::int32_t>(piece));
      if (connection.Receive.DetectionBytes > 0) ++waited;
    }
    const std::string name = ::testing::PrintToString(c.Pieces);
    EXPECT_EQ(connection.PacketVersion, c.Version) << name;
    EXPECT_EQ(fresh.Log.size(), c.Lines) << name;
    EXPECT_EQ(waited, c.WaitingAfter) << name;
    EXPECT_EQ(connection.Receive.DetectionBytes, 0) << name;
    EXPECT_EQ(connection.FirstPacketId, 0x0072) << name;
  }
}

TEST_F(VersionDetectionTest, DumpIsTakenFromTheWholeBuffer) {
  // Four bytes were already held: the id comes from the new bytes, the dump
  // from offset 2 of the buffer.
  Read({0xAA, 0xBB, 0xCC, 0xDD});
  host.Log.clear();
  record.RedetectVersion = -1;  // as after a character select
  Bytes login = Packet(0x0072, 21);
  login[2] = 0xEE;
  Read(login);
  Quiet();
  ASSERT_EQ(host.Log.size(), 1u);
  EXPECT_EQ(host.Log[0],
            std::string("7F000001 - (CCDD7200EE0000000000000000000000") + kFailureTail);
}

TEST_F(VersionDetectionTest, ShortReadOnAFreshConnectionDumpsZerosBeyondIt) {
  Read({0x01, 0x00, 0x11, 0x22, 0x33});
  ASSERT_EQ(host.Log.size(), 1u);
  EXPECT_EQ(host.Log[0],
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

TEST_F(VersionDetectionReceiveTest, MapLoginAloneSetsTheVersionOnceNothingMoreComes) {
  const int client = Connect();
  Send(client, Concat({Le16(0x0072), Zeros(17)}));
  ReceiveUntilData(client);
  EXPECT_EQ(Record(client).PacketVersion, 0);
  form.ReceiveFromConnection(Record(client));
  EXPECT_EQ(Record(client).PacketVersion, 5);
  EXPECT_TRUE(Log().empty());
}

}  // namespace
}  // namespace quib::test
