// What the operator is told, against the built program: the detailed log
// line, what each console command did, and why a start was refused. Run
// against the Windows program under Wine as well.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "tests/server_process.h"
#include "tests/test_support.h"

namespace quib::test {
namespace {

std::int32_t LocalPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// One login on its own connection: its line names this connection.
std::int32_t LogIn(std::int32_t port) {
  const int fd = ConnectClient(port);
  EXPECT_GE(fd, 0);
  const std::int32_t local = LocalPort(fd);
  SendAll(fd, LoginRequest());
  EXPECT_EQ(ReadExactly(fd, 79).size(), 79u);
  ::close(fd);
  return local;
}

TEST(OperatorViewTest, DetailPutsTimeAndConnectionAheadOfTheDesignedLine) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--headless", "--port", "0", "--log-detail", "--accept-delay", "0"}));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();

  // Numbers count connections from 1 and are never given again.
  for (int number = 1; number <= 2; ++number) {
    const std::int32_t local = LogIn(port);
    const auto line = server.ReadLine(3000);
    ASSERT_TRUE(line.has_value());
    const std::regex detailed("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3} \\[#" +
                              std::to_string(number) + " 127\\.0\\.0\\.1:" + std::to_string(local) +
                              "\\] CharSvrReq - 7F000001");
    EXPECT_TRUE(std::regex_match(*line, detailed)) << *line;
  }

  // Off again: the designed line as scripts read it.
  ASSERT_TRUE(server.WriteLine("detail off"));
  ASSERT_TRUE(server.WaitForError("Log lines are as designed again", 3000)) << server.ErrorText();
  LogIn(port);
  EXPECT_EQ(server.ReadLine(3000).value_or("(none)"), "CharSvrReq - 7F000001");
  EXPECT_EQ(server.Stop(), 0);
}

TEST(OperatorViewTest, EachCommandSaysWhatItDidOrChanged) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--headless", "--port", "0"}));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  const std::string dir = ::testing::TempDir() + "quib_told_" + std::to_string(::getpid());
  const std::string a = dir + "_a.pcapng";
  const std::string b = dir + "_b.pcapng";
  const std::string missing = "/no/such/folder/c.pcapng";

  const struct {
    std::string Command;
    std::string Told;
  } cases[] = {
      {"warp", "Warp: no client in the map\n"},
      {"reload",
       "Force Map Reload: no client in the map; the next client that loads a map is sent to "
       "prontera.gat (150, 170) instead of arriving\n"},
      {"show", "reload pending\n"},
      {"clear", "Log cleared\n"},
      {"map geffen.gat", "Map name: geffen.gat\n"},
      {"map", "Map name: (empty)\n"},
      // Cut at a character's start: nine two-byte characters, sixteen bytes kept.
      {"map \u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9",
       "Map name cut to 8 characters: \u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9 (typed "
       "9)\n"},
      {std::string("map a\0b", 7), "map takes no NUL character\n"},
      {"map abcdefghijklmnopqrst", "Map name cut to 16 characters: abcdefghijklmnop (typed 20)\n"},
      {"gender male", "Gender: male\n"},
      {"hide on", "Hide Unknown Packets: on\n"},
      {"hide off", "Hide Unknown Packets: off\n"},
      {"tick 100", "Tick: 100 ms\n"},
      {"accept-delay 0", "Accept delay: 0 ms\n"},
      {"pos 150 70000", "Start cell: Y 70000 taken as 898 (cells are 2 to 898)\n"},
      {"show", "position: 150 898 (typed 150 70000; cells are 2 to 898)\n"},
      {"posx", "Start cell: X (empty) taken as 2, Y 70000 taken as 898 (cells are 2 to 898)\n"},
      {"show", "position: 2 898 (typed (empty) 70000; cells are 2 to 898)\n"},
      {"posx 150", "Start cell: Y 70000 taken as 898 (cells are 2 to 898)\n"},
      {std::string(5000, 'x'), "command line too long; ignored\n"},
      {"capture off", "No capture runs\n"},
      {"capture " + a, "Capture started: " + a + "\n"},
      {"capture " + b, "Capture to " + a + " stopped; capture started: " + b + "\n"},
      {"capture " + missing, "Unable to open the capture file " + missing},
      {"show", "capture: " + b + "\n"},
      {"capture off", "Capture stopped: " + b + "\n"},
      {"detail on", "Log lines now start with the time and the connection\n"},
      {"packets on", "Every packet now shows in the log, both ways\n"},
      {"packets off", "Packets show as designed again: unknown ones alone\n"},
  };
  for (const auto& c : cases) {
    const std::size_t from = server.ErrorText().size();
    ASSERT_TRUE(server.WriteLine(c.Command));
    EXPECT_TRUE(server.WaitForError(c.Told, 3000, from))
        << c.Command << " told: " << server.ErrorText().substr(from);
  }
  EXPECT_NE(server.ErrorText().find("; the capture to " + b + " goes on\n"), std::string::npos)
      << "a capture that runs survives one that cannot start";

  // With a client in the map, the warp says where it sent whom.
  const int client = ConnectClient(port);
  SendAll(client, MapLogin());
  EXPECT_EQ(ReadExactly(client, kMapGreetingSize).size(), kMapGreetingSize);
  const std::size_t from = server.ErrorText().size();
  ASSERT_TRUE(server.WriteLine("warp"));
  EXPECT_TRUE(server.WaitForError("Warp: 1 client to abcdefghijklmnop (150, 898)\n", 3000, from))
      << server.ErrorText().substr(from);

  // The bytes of an unknown packet say when it came and from which connection.
  SendAll(client, Le16(0x4321));
  std::optional<std::string> line;
  do line = server.ReadLine(3000);
  while (line && !line->ends_with("] Unknown Packet (0x4321) - 7F000001"));  // detail is on
  ASSERT_TRUE(line.has_value()) << "no unknown packet line";
  const std::size_t asked = server.ErrorText().size();
  ASSERT_TRUE(server.WriteLine("bytes"));
  EXPECT_TRUE(server.WaitForError(" (2 bytes buffered)\n", 3000, asked));
  EXPECT_TRUE(std::regex_search(
      server.ErrorText().substr(asked),
      std::regex("^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3} \\[#1 127\\.0\\.0\\.1:" +
                 std::to_string(LocalPort(client)) +
                 "\\] Unknown Packet \\(0x4321\\) - 7F000001 \\(2 bytes buffered\\)\n0000  21 43")))
      << server.ErrorText().substr(asked);
  ::close(client);
  EXPECT_EQ(server.Stop(), 0);
  std::remove(a.c_str());
  std::remove(b.c_str());
}

TEST(OperatorViewTest, ARefusedStartSaysWhyAndWhatToDo) {
  ServerProcess first;
  ASSERT_TRUE(first.Start({"--headless", "--port", "0"}));
  const std::string port = std::to_string(first.WaitForListening());

  const struct {
    std::vector<std::string> Args;
    std::string Said;
  } cases[] = {
      {{"--port", port},
       "Unable to listen on 127.0.0.1:" + port + "\nAnother program already listens on port " +
           port + ": stop it, or start with --port 0 to let the system pick a free port.\n"},
      // An address of the documentation range, which no machine here has.
      {{"--address", "192.0.2.1", "--port", "0"},
       "Unable to listen on 192.0.2.1:0\n192.0.2.1 is not an address of this machine: give one of "
       "its own with --address, such as 127.0.0.1.\n"},
      {{"--packet-db", "/no/such/packet_db.txt"},
       "Unable to load the packet database /no/such/packet_db.txt\n"},
  };
  for (const auto& c : cases) {
    ServerProcess refused;
    std::vector<std::string> args{"--headless"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    ASSERT_TRUE(refused.Start(args));
    EXPECT_EQ(refused.Wait(), 1);
    EXPECT_TRUE(refused.WaitForError(c.Said)) << refused.ErrorText();
  }
  EXPECT_EQ(first.Stop(), 0);
}

}  // namespace
}  // namespace quib::test
