// The operator's commands on one connection, through the console of the
// built program over real sockets: what each sends reaches that client
// alone, a refusal names what is wrong, and close and reset end the
// connection as the client sees it; the injected packet shows in the
// journal and, as tshark reads it, in the capture's comments.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/client_support.h"
#include "tests/server_process.h"
#include "tests/tshark.h"

namespace quib::test {
namespace {

TEST(OneConnectionTest, CommandsReachTheNamedClientAlone) {
  const std::string files = ::testing::TempDir() + "quib_one_" + std::to_string(::getpid());
  ServerProcess server;
  std::vector<std::string> args = kFastCadence;
  args.insert(args.end(), {"--journal", files + ".jsonl", "--capture", files + ".pcapng"});
  const std::int32_t port = server.StartConsole(args);
  ASSERT_GT(port, 0) << server.ErrorText();
  const int clients[] = {EnterMap(port), EnterMap(port)};  // #1 and #2
  ASSERT_GE(clients[0], 0);
  ASSERT_GE(clients[1], 0);
  ASSERT_TRUE(server.WriteLine("pos 100 120"));

  const Bytes mapChange =
      Concat({Le16(0x0091), FromText("prontera.gat"), Zeros(4), Le16(100), Le16(120), Zeros(4)});
  struct Case {
    std::string Command;
    std::string Told;
    Bytes ToFirst, ToSecond;
  };
  const Case cases[] = {
      {"conns", "#2  127.0.0.1:", {}, {}},
      {"send #2 c2 00 07 00  0000",
       "Sent 6 bytes to #2 (injected)\n",
       {},
       Concat({Le16(0x00C2), Le32(7)})},
      {"warp #1", "Warp: #1 to prontera.gat (100, 120)\n", mapChange, {}},
      {"send #7 00", "no connection #7\n", {}, {}},
      {"send #1 123", "send takes hex digits, two a byte: an odd number of digits\n", {}, {}},
      {"send #1 0g", "send takes hex digits, two a byte: \"g\" is not one\n", {}, {}},
      {"warp #x", "warp takes a connection, #N, or nothing", {}, {}},
  };
  for (const Case& c : cases) {
    const std::size_t from = server.ErrorText().size();
    ASSERT_TRUE(server.WriteLine(c.Command));
    EXPECT_TRUE(server.WaitForError(c.Told, 3000, from))
        << c.Command << " told: " << server.ErrorText().substr(from);
    EXPECT_EQ(ReadExactly(clients[0], c.ToFirst.size(), 1000), c.ToFirst) << c.Command;
    EXPECT_EQ(ReadExactly(clients[1], c.ToSecond.size(), 1000), c.ToSecond) << c.Command;
    EXPECT_TRUE(ReadAvailable(clients[0]).empty() && ReadAvailable(clients[1]).empty())
        << c.Command << " reached another client";
  }
  EXPECT_NE(server.ErrorText().find("in the map"), std::string::npos) << "conns shows the state";

  ASSERT_TRUE(server.WriteLine("close #1"));
  EXPECT_TRUE(PeerClosed(clients[0], 3000));
  ASSERT_TRUE(server.WriteLine("reset #2"));
  char byte = 0;
  EXPECT_TRUE(WaitReadable(clients[1], 3000));
  EXPECT_EQ(::recv(clients[1], &byte, 1, 0), -1);
  EXPECT_EQ(errno, ECONNRESET) << "the client sees a reset";
  EXPECT_TRUE(server.WaitForError("Connection #2 reset by the server\n", 3000));
  CloseClientSocket(clients[0]);
  CloseClientSocket(clients[1]);
  ASSERT_EQ(server.Stop(), 0);

  std::stringstream journal;
  journal << std::ifstream(files + ".jsonl").rdbuf();
  EXPECT_NE(journal.str().find(R"("hex":"c20007000000","injected":true})"), std::string::npos);
  EXPECT_NE(journal.str().find(R"("conn":2,"peer")"), std::string::npos);
  EXPECT_NE(journal.str().find(R"("by":"server-reset"})"), std::string::npos);
  const Tshark tshark(files + ".pcapng", port);
  if (tshark.Available()) {
    EXPECT_NE(tshark.ServerComments().find("injected\n"), std::string::npos)
        << tshark.ServerComments();
  }
  std::remove((files + ".jsonl").c_str());
  std::remove((files + ".pcapng").c_str());
}

}  // namespace
}  // namespace quib::test
