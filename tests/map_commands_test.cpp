#include "protocol/map_commands.h"

#include <string>

#include "app/main_window.h"
#include "tests/test_support.h"

namespace quib::test {
namespace {

// The 26-byte map change as a client sees it; `field` is the raw 16-byte name.
Bytes MapChange(const std::string& field, std::uint16_t x, std::uint16_t y) {
  Bytes name(field.begin(), field.end());
  name.resize(16, 0);
  return Concat({Le16(0x0091), name, Le16(x), Le16(y), Zeros(4)});
}

TEST(ReadClampedPositionTest, ReadsLeadingDigitsClampsAndShowsTheValue) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"150", 150},
      {"1000", 898},
      {"1", 2},
      {"", 2},
      {"abc", 2},
      {"12abc", 12},
      {"898", 898},
      {"2", 2},
      {"99999999999999999999", 898},
      {"4294967298", 898},  // wraps to 2 if read into 32 bits
  };
  for (const Case& c : cases) {
    TextBox box(c.text);
    std::int32_t value = -7;
    ReadClampedPosition(box, kCellRange.Lowest, kCellRange.Highest, value);
    EXPECT_EQ(value, c.expected) << '"' << c.text << '"';
    EXPECT_EQ(box.Text(), std::to_string(c.expected)) << '"' << c.text << '"';
  }
}

class MapCommandsTest : public ServerFixture {
 protected:
  // Two clients in the map and one still at the character server.
  void SetUp() override {
    ServerFixture::SetUp();
    for (int i = 0; i < 3; ++i) Connect();
    Record(0).State = kStateMap;
    Record(1).State = kStateMap;
    Record(2).State = kStateCharacter;
  }

  void ExpectMapClientsGet(const Bytes& packet) {
    for (int client : {0, 1}) EXPECT_EQ(Received(client, packet.size()), packet) << client;
  }

  void ExpectNothingMore() {
    for (int client : {0, 1, 2}) EXPECT_TRUE(NothingMore(client)) << client;
  }
};

TEST_F(MapCommandsTest, WarpSendsTheBoxesToEveryClientInTheMap) {
  form.Text2.SetText("geffen.gat");
  form.Pos[0].SetText("321");
  form.Pos[1].SetText("123");
  Record(0).PosX = 150;
  Record(0).PosY = 170;
  form.Command3_Click();
  ExpectMapClientsGet(MapChange("geffen.gat", 321, 123));
  ExpectNothingMore();
  // The stored cell stays where it was; the next walk starts from it.
  EXPECT_EQ(Record(0).PosX, 150);
  EXPECT_EQ(Record(0).PosY, 170);
}

TEST_F(MapCommandsTest, WarpClampsThePositionsAndShowsThem) {
  form.Pos[0].SetText("1000");
  form.Pos[1].SetText("1");
  Warp(form);
  ExpectMapClientsGet(MapChange("prontera.gat", 898, 2));
  EXPECT_EQ(form.Pos[0].Text(), "898");
  EXPECT_EQ(form.Pos[1].Text(), "2");

  form.Pos[0].SetText("");
  Warp(form);
  ExpectMapClientsGet(MapChange("prontera.gat", 2, 2));
  EXPECT_EQ(form.Pos[0].Text(), "2");
}

TEST_F(MapCommandsTest, MapNameIsCutToFifteenCharactersAndANul) {
  form.Text2.SetText("abcdefghijklmnop.gat");  // 20 characters
  Warp(form);
  ExpectMapClientsGet(MapChange(std::string("abcdefghijklmno") + '\0', 150, 170));

  form.Text2.SetText("");
  Warp(form);
  ExpectMapClientsGet(MapChange("", 150, 170));
  ExpectNothingMore();
}

TEST_F(MapCommandsTest, ForceMapReloadSendsEveryoneToTheReloadMapAndRaisesTheFlag) {
  form.Command4_Click();
  EXPECT_EQ(form.ForceReloadPending, -1);
  ExpectMapClientsGet(MapChange("prt_in.gat", 50, 60));

  form.Command4_Click();  // again while set: sent again, still set
  EXPECT_EQ(form.ForceReloadPending, -1);
  ExpectMapClientsGet(MapChange("prt_in.gat", 50, 60));
  ExpectNothingMore();
}

TEST_F(MapCommandsTest, NobodyInTheMapMeansNothingIsSent) {
  Record(0).State = kStateCharacter;
  Record(1).State = kStateNone;
  Warp(form);
  ForceMapReload(form);
  ExpectNothingMore();
}

}  // namespace
}  // namespace quib::test
