#include "protocol/packet_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "net/socket_types.h"
#include "protocol/packet_handler.h"
#include "tests/test_support.h"

namespace quib {
namespace {

using test::Bytes;
using test::Concat;
using test::Le16;
using test::Zeros;
using Lines = std::vector<std::string>;

ConnectionRecord RecordFrom(std::uint32_t hostAddress, const Bytes& bytes = {}) {
  ConnectionRecord record;
  record.PeerAddress = SocketAddressOf({hostAddress, 0});
  std::copy(bytes.begin(), bytes.end(), record.RecvBuffer.begin());
  record.RecvLength = static_cast<std::int32_t>(bytes.size());
  return record;
}

TEST(PacketLogTest, PeerHexIsHostOrderUppercaseWithoutLeadingZeros) {
  EXPECT_EQ(PeerHex(RecordFrom(0x7F000001)), "7F000001");
  EXPECT_EQ(PeerHex(RecordFrom(0x0A000001)), "A000001");
  EXPECT_EQ(PeerHex(RecordFrom(0xC0A80005)), "C0A80005");
  EXPECT_EQ(PeerHex(RecordFrom(0)), "0");
}

// The stream spares the designed log, the summary and a strict verdict every
// kind outside their sets: each set holds exactly the kinds its view acts on.
TEST(PacketLogTest, EachViewsKindsAreTheKindsItActsOn) {
  const ConnectionRecord record = RecordFrom(0x7F000001, Zeros(4));
  Form1 form;
  form.Rules.Strict = true;
  for (unsigned k = 0; k <= static_cast<unsigned>(EventKind::kFault); ++k) {
    const auto kind = static_cast<EventKind>(k);
    const ConnectionEvent event{.Kind = kind,
                                .Connection = &record,
                                .Bytes = {record.RecvBuffer.data(), 4},
                                .Text = "what",
                                .Id = 0x1234,
                                .Length = 8,
                                .Step = Milestone::kMap,
                                .FirstTime = true};
    EXPECT_EQ(!DesignedLine(event).empty(), Takes(kDesignedLineKinds, kind)) << k;
    RunSummary summary;
    CountEvent(summary, event);
    const bool counted = summary.Connections + summary.ReachedCount(Milestone::kMap) +
                             summary.UnknownPackets + summary.ShortPackets + summary.DetectFailed >
                         0;
    EXPECT_EQ(counted, Takes(kCountedKinds, kind)) << k;
    form.Violation.clear();
    JudgeEvent(form, event);
    EXPECT_EQ(!form.Violation.empty(), Takes(kJudgedKinds, kind)) << k;
  }
}

TEST(PacketLogTest, ByteDumpIsSixteenBytesFromOffsetTwo) {
  Bytes bytes = Zeros(20);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0xA0 + i);
  EXPECT_EQ(ReceivedBytesDump(RecordFrom(0x7F000001, bytes)), "A2A3A4A5A6A7A8A9AAABACADAEAFB0B1");
}

class UnknownPacketTest : public ::testing::Test {
 protected:
  // Handles one packet with the given id through the handler.
  ConnectionRecord Handle(std::uint16_t id) {
    ConnectionRecord record = RecordFrom(0x7F000001, Concat({Le16(id), Zeros(30)}));
    HandlePacket(form, record);
    return record;
  }
  Form1 form;  // its packet table is empty: no named id is known
};

TEST_F(UnknownPacketTest, LineShowsIdWithoutLeadingZerosAndDropsTheBuffer) {
  EXPECT_EQ(Handle(0x007D).RecvLength, 0);
  EXPECT_EQ(Handle(0x0ABC).RecvLength, 0);
  EXPECT_EQ(Handle(0xFFFF).RecvLength, 0);
  EXPECT_EQ(test::LogLines(form.List1),
            (Lines{"Unknown Packet (0x7D) - 7F000001", "Unknown Packet (0xABC) - 7F000001",
                   "Unknown Packet (0xFFFF) - 7F000001"}));
}

TEST_F(UnknownPacketTest, HiddenPacketsAddNoLineYetStillDropTheBuffer) {
  form.Check1.SetChecked(true);
  EXPECT_EQ(Handle(0x1234).RecvLength, 0);
  EXPECT_TRUE(form.List1.Items().empty());
  form.Check1.SetChecked(false);
  Handle(0x1234);
  EXPECT_EQ(test::LogLines(form.List1), Lines{"Unknown Packet (0x1234) - 7F000001"});
}

TEST_F(UnknownPacketTest, ClearLogEmptiesTheListAndNothingElse) {
  form.Command2_Click();  // on an empty list
  EXPECT_TRUE(form.List1.Items().empty());
  Handle(0x1234);
  form.Check1.SetChecked(true);
  form.Command2_Click();
  EXPECT_TRUE(form.List1.Items().empty());
  EXPECT_TRUE(form.Check1.Checked());
  form.Check1.SetChecked(false);
  Handle(0x4321);
  EXPECT_EQ(test::LogLines(form.List1), Lines{"Unknown Packet (0x4321) - 7F000001"});
}

}  // namespace
}  // namespace quib
