#include "protocol/map_commands.h"

#include <string>

#include "base/settings.h"
#include "tests/test_host.h"

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
  TestHost host;
  for (const Case& c : cases) {
    host.Position[1] = c.text;
    std::int32_t value = -7;
    ReadClampedPosition(host, Axis::kY, kCellRange.Lowest, kCellRange.Highest, value);
    EXPECT_EQ(value, c.expected) << '"' << c.text << '"';
    EXPECT_EQ(host.Position[1], std::to_string(c.expected)) << '"' << c.text << '"';
  }
}

class MapCommandsTest : public ::testing::Test {
 protected:
  // Two clients in the map and one still at the character server.
  void SetUp() override {
    for (int i = 0; i < 3; ++i) host.Connect();
    host.At(0).State = kStateMap;
    host.At(1).State = kStateMap;
    host.At(2).State = kStateCharacter;
  }

  void ExpectMapClientsGet(const Bytes& packet) {
    for (std::size_t client : {0, 1}) EXPECT_EQ(host.Sent(host.At(client)), packet) << client;
  }

  void ExpectNothingMore() {
    for (std::size_t client : {0, 1, 2}) EXPECT_TRUE(host.Sent(host.At(client)).empty()) << client;
  }

  TestHost host;
};

TEST_F(MapCommandsTest, WarpSendsTheBoxesToEveryClientInTheMap) {
  host.Map = "geffen.gat";
  host.Position[0] = "321";
  host.Position[1] = "123";
  host.At(0).PosX = 150;
  host.At(0).PosY = 170;
  Warp(host);
  ExpectMapClientsGet(MapChange("geffen.gat", 321, 123));
  ExpectNothingMore();
  EXPECT_EQ(host.Outcomes, std::vector<std::string>{"Warp: 2 clients to geffen.gat (321, 123)"});
  // The stored cell stays where it was; the next walk starts from it.
  EXPECT_EQ(host.At(0).PosX, 150);
  EXPECT_EQ(host.At(0).PosY, 170);
}

TEST_F(MapCommandsTest, WarpClampsThePositionsAndShowsThem) {
  host.Position[0] = "1000";
  host.Position[1] = "1";
  Warp(host);
  ExpectMapClientsGet(MapChange("prontera.gat", 898, 2));
  EXPECT_EQ(host.Position[0], "898");
  EXPECT_EQ(host.Position[1], "2");

  host.Position[0] = "";
  Warp(host);
  ExpectMapClientsGet(MapChange("prontera.gat", 2, 2));
  EXPECT_EQ(host.Position[0], "2");
}

TEST_F(MapCommandsTest, MapNameIsCutToFifteenCharactersAndANul) {
  host.Map = "abcdefghijklmnop.gat";  // 20 characters
  Warp(host);
  ExpectMapClientsGet(MapChange(std::string("abcdefghijklmno") + '\0', 150, 170));

  host.Map = "";
  Warp(host);
  ExpectMapClientsGet(MapChange("", 150, 170));
  ExpectNothingMore();
}

TEST_F(MapCommandsTest, ForceMapReloadSendsEveryoneToTheReloadMapAndRaisesTheFlag) {
  ForceMapReload(host);
  EXPECT_TRUE(host.Reload);
  ExpectMapClientsGet(MapChange("prt_in.gat", 50, 60));

  ForceMapReload(host);  // again while set: sent again, still set
  EXPECT_TRUE(host.Reload);
  ExpectMapClientsGet(MapChange("prt_in.gat", 50, 60));
  ExpectNothingMore();
}

TEST_F(MapCommandsTest, NobodyInTheMapMeansNothingIsSent) {
  host.At(0).State = kStateCharacter;
  host.At(1).State = kStateNone;
  Warp(host);
  ForceMapReload(host);
  ExpectNothingMore();
}

}  // namespace
}  // namespace quib::test
