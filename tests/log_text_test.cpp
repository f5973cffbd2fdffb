#include "app/log_text.h"

#include <gtest/gtest.h>

#include <string>

#include "app/log_detail.h"
#include "app/main_window.h"
#include "net/socket_types.h"
#include "protocol/packet_log.h"

namespace quib {
namespace {

// Rows count from the oldest line still shown: lines cleared before must not
// shift which bytes a row gives.
TEST(LogTextTest, RowsGiveTheirOwnBytesAndTheWholeLogItsLines) {
  Form1 form;
  form.TimeOfDay = [] { return std::int64_t{((12 * 60 + 4) * 60 + 5) * 1000000LL + 120000}; };
  ConnectionRecord client;
  client.PeerAddress = SocketAddressOf({kLoopbackAddress, 52344});
  client.Conversation = 3;
  form.List1.AddItem("cleared");
  form.List1.Clear();
  form.List1.AddItem("first");
  client.RecvBuffer[0] = 0x21;
  client.RecvBuffer[1] = 0x43;
  client.RecvBuffer[2] = 'A';
  client.RecvLength = 3;
  HandleUnknownPacket(form, client, 0x4321);
  form.List1.AddItem("last");

  EXPECT_EQ(LogText(form.List1), "first\nUnknown Packet (0x4321) - 7F000001\nlast\n");
  EXPECT_EQ(LogText(ListBox()), "");

  const struct {
    std::size_t Row;
    std::string Text;
  } rows[] = {
      {0, ""},
      {1,
       "12:04:05.120 [#3 127.0.0.1:52344] Unknown Packet (0x4321) - 7F000001 (3 bytes "
       "buffered)\n"
       "0000  21 43 41                                          !CA\n"},
      {2, ""},
      {3, ""},
  };
  for (const auto& row : rows) EXPECT_EQ(LineBytesText(form, row.Row), row.Text) << row.Row;

  form.Unknown.Clear();
  EXPECT_EQ(LineBytesText(form, 1),
            "Unknown Packet (0x4321) - 7F000001\n\nThe bytes of this packet are no longer held: "
            "only those of the last 1000 unknown packets are kept.");

  // A packet line gives its own packet's bytes, whichever store is cleared.
  const std::uint8_t walk[] = {0x85, 0x00, 0x19, 0x07, 0x80};
  form.LogWithBytes("Recv 0x0085 Walk to (100, 120) - 7F000001", &client, kPacketLine,
                    form.PacketLineBytes, walk);
  EXPECT_EQ(LineBytesText(form, 3),
            "12:04:05.120 [#3 127.0.0.1:52344] Recv 0x0085 Walk to (100, 120) - 7F000001 (5 "
            "bytes)\n"
            "0000  85 00 19 07 80                                    .....\n");
}

// With the time and the connection ahead of it, a line is still the designed
// line behind, and an unknown packet's line still gives its bytes.
TEST(LogTextTest, DetailGoesAheadOfTheDesignedLineAndComesOffAgain) {
  Form1 form;
  form.TimeOfDay = [] { return std::int64_t{((23 * 60 + 4) * 60 + 5) * 1000000LL + 120999}; };
  ConnectionRecord client;
  client.PeerAddress = SocketAddressOf({kLoopbackAddress, 52344});
  client.Conversation = 3;
  client.RecvBuffer[0] = 0x21;
  client.RecvBuffer[1] = 0x43;
  client.RecvLength = 2;
  form.LogDetail.SetChecked(true);
  form.Log("CharSvrReq - 7F000001", &client);
  form.Log("about no connection");
  HandleUnknownPacket(form, client, 0x4321);

  EXPECT_EQ(LogText(form.List1),
            "23:04:05.120 [#3 127.0.0.1:52344] CharSvrReq - 7F000001\n"
            "23:04:05.120 about no connection\n"
            "23:04:05.120 [#3 127.0.0.1:52344] Unknown Packet (0x4321) - 7F000001\n");
  EXPECT_EQ(LineBytesText(form, 2).rfind(
                "23:04:05.120 [#3 127.0.0.1:52344] Unknown Packet (0x4321) - 7F000001 (2 bytes", 0),
            0u);
  EXPECT_EQ(TimeOfDayText(0), "00:00:00.000");
}

// Where the screen has no room beside the window (the windows' tests try
// that), the bytes dialog opens left of the log, else against the work
// area's edge, and stays on the work area.
TEST(LogTextTest, TheBytesDialogKeepsOffTheLog) {
  const FormRect window{400, 100, 500, 340};
  const FormRect log{586, 130, 310, 290};
  const struct {
    FormRect Work;
    int Left;
    int Top;
  } cases[] = {
      {{200, 0, 900, 900}, 286, 122},  // left of the log, over the form
      {{300, 0, 800, 900}, 800, 122},  // against the edge
      {{0, 0, 1100, 350}, 100, 50},    // left of the window, up
  };
  for (const auto& c : cases) {
    const FormRect at = BytesDialogPlace(window, log, 300, 300, c.Work, 22);
    EXPECT_EQ(at.Left, c.Left) << c.Work.Left;
    EXPECT_EQ(at.Top, c.Top) << c.Work.Left;
  }
}

}  // namespace
}  // namespace quib
