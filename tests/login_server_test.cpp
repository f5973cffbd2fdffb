#include "protocol/login_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_host.h"

namespace quib::test {
namespace {

using Lines = std::vector<std::string>;

// 0x0069 as its table lays it out, field by field.
Bytes ServerList(std::uint8_t sex, std::uint16_t users) {
  return Concat({Le16(0x0069), Le16(79), Le32(0), Le32(2000000), Le32(0), Le32(0),
                 FromText("2008-08-01 00:00:01.000"), Zeros(1),         // 20: date, width 24
                 Zeros(2), Bytes{sex},                                  // 44: unused, 46: sex
                 Bytes{0x7F, 0x00, 0x00, 0x01}, Le16(TestHost::kPort),  // 47: address, 51: port
                 FromText("Quib-Test Server"), Zeros(4),                // 53: name, width 20
                 Le16(users), Le16(0), Le16(0)});                       // 73: user count
}

TEST(LoginServerTest, LoginGetsTheServerListThenIsClosed) {
  TestHost host;
  ConnectionRecord& client = host.Connect();
  host.Feed(client, LoginRequest());
  EXPECT_EQ(host.Sent(client), ServerList(0, 1));
  EXPECT_TRUE(host.Closed(client));
  EXPECT_EQ(host.Log, Lines{"CharSvrReq - 7F000001"});
  EXPECT_EQ(client.State, kStateLogin);
  EXPECT_EQ(client.AccountId, 2000000);
  EXPECT_EQ(client.RecvLength, 0);
}

TEST(LoginServerTest, SexFollowsTheOptionAndUserCountTheTable) {
  TestHost host;
  host.Connect();
  host.Connect();
  ConnectionRecord& client = host.Connect();
  host.Male = true;
  host.Feed(client, Concat({Le16(0x01DD), Zeros(53)}));
  EXPECT_EQ(host.Sent(client), ServerList(1, 3));
}

TEST(LoginServerTest, PreRequestsAreLoggedWithBytesTwoToSeventeen) {
  TestHost host;
  ConnectionRecord& client = host.Connect();
  Bytes first = Concat({Le16(0x0200), Zeros(24)});
  for (std::size_t i = 2; i < first.size(); ++i) first[i] = static_cast<std::uint8_t>(i);
  host.Feed(client, first);
  host.Feed(client, Concat({Le16(0x0204), Bytes(16, 0xAB)}));
  std::string ab;
  for (int i = 0; i < 16; ++i) ab += "AB";
  EXPECT_TRUE(host.Sent(client).empty());
  EXPECT_EQ(host.Log, (Lines{"LoginReQ - 7F000001 - (02030405060708090A0B0C0D0E0F1011)",
                             "LoginReQ - 7F000001 - (" + ab + ")"}));
  EXPECT_EQ(client.State, kStateLogin);
  EXPECT_EQ(client.RecvLength, 0);
}

}  // namespace
}  // namespace quib::test
