#include "protocol/login_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace quib {
namespace {

using test::Bytes;
using test::Concat;
using test::FromText;
using test::Le16;
using test::Le32;
using test::Zeros;
using Lines = std::vector<std::string>;

// 0x0069 as its table lays it out, field by field.
Bytes ServerList(std::uint8_t sex, std::uint16_t port, std::uint16_t users) {
  return Concat({Le16(0x0069), Le16(79), Le32(0), Le32(2000000), Le32(0), Le32(0),
                 FromText("2008-08-01 00:00:01.000"), Zeros(1),  // 20: date, width 24
                 Zeros(2), Bytes{sex},                           // 44: unused, 46: sex
                 Bytes{0x7F, 0x00, 0x00, 0x01}, Le16(port),      // 47: address, 51: port
                 FromText("Quib-Test Server"), Zeros(4),         // 53: name, width 20
                 Le16(users), Le16(0), Le16(0)});                // 73: user count
}

const Bytes kLoginRequest = Concat({Le16(0x0064), Zeros(53)});

class LoginServerTest : public test::ServerFixture {
 protected:
  std::uint16_t Port() { return static_cast<std::uint16_t>(form.ListeningPort()); }
};

TEST_F(LoginServerTest, LoginGetsTheServerListThenIsClosed) {
  const int client = Connect();
  Send(client, kLoginRequest);
  Tick();
  EXPECT_EQ(Received(client, 79), ServerList(0, Port(), 1));
  EXPECT_TRUE(test::PeerClosed(clients[client]));
  EXPECT_EQ(Log(), Lines{"CharSvrReq - 7F000001"});
  EXPECT_EQ(Record(client).State, kStateLogin);
  EXPECT_EQ(Record(client).AccountId, 2000000);
  EXPECT_EQ(Record(client).RecvLength, 0);
}

TEST_F(LoginServerTest, SexFollowsTheOptionAndUserCountTheTable) {
  Connect();
  Connect();
  const int client = Connect();
  form.Option1.Select(1);  // "Male"
  Send(client, Concat({Le16(0x01DD), Zeros(53)}));
  Tick();
  EXPECT_EQ(Received(client, 79), ServerList(1, Port(), 3));
}

TEST_F(LoginServerTest, PreRequestsAreLoggedWithBytesTwoToSeventeen) {
  const int client = Connect();
  Bytes first = Concat({Le16(0x0200), Zeros(24)});
  for (std::size_t i = 2; i < first.size(); ++i) first[i] = static_cast<std::uint8_t>(i);
  Send(client, first);
  Tick();
  Send(client, Concat({Le16(0x0204), Bytes(16, 0xAB)}));
  Tick();
  std::string ab;
  for (int i = 0; i < 16; ++i) ab += "AB";
  EXPECT_TRUE(NothingMore(client));
  EXPECT_EQ(Log(), (Lines{"LoginReQ - 7F000001 - (02030405060708090A0B0C0D0E0F1011)",
                          "LoginReQ - 7F000001 - (" + ab + ")"}));
  EXPECT_EQ(Record(client).State, kStateLogin);
  EXPECT_EQ(Record(client).RecvLength, 0);
}

}  // namespace
}  // namespace quib
