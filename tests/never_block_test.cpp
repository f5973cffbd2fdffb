// The built server against what used to stop or slow its one thread, or leave
// a record behind: capture targets that are no files, a disk that fills,
// clients that reset, bursts of connections, a packet database that loads but
// cannot serve. Each runs against the process, at the fast cadence.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/server_process.h"
#include "tests/small_disk.h"
#include "tests/test_support.h"
#include "tests/tshark.h"

namespace quib::test {
namespace {

const std::vector<std::string> kFast{"--headless", "--port", "0", "--accept-delay",
                                     "0",          "--tick", "10"};

std::vector<std::string> Fast(std::vector<std::string> extra) {
  std::vector<std::string> args = kFast;
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

std::string TempName(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("quib-never-block-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

// What `show` says of the connections now.
std::string ConnectionsShown(ServerProcess& server) {
  const std::size_t from = server.ErrorText().size();
  server.WriteLine("show");
  if (!server.WaitForError("capture: ", 5000, from)) return "no answer to show";
  const std::string said = server.ErrorText().substr(from);
  const std::size_t at = said.find("connections: ");
  return at == std::string::npos ? said : said.substr(at, said.find('\n', at) - at);
}

// A FIFO with no reader, a device and a folder are refused at once, at start
// and while the server runs, which goes on serving.
TEST(NeverBlockTest, OnlyARegularFileIsACaptureTarget) {
  const std::string fifo = TempName("fifo");
  std::remove(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = std::filesystem::temp_directory_path().string();
  for (const std::string& target : {fifo, std::string("/dev/null"), folder}) {
    ServerProcess refused;
    ASSERT_TRUE(refused.Start(Fast({"--capture", target})));
    EXPECT_EQ(refused.Wait(5000), 1) << target;
    EXPECT_TRUE(refused.WaitForError(target + ": not a regular file")) << refused.ErrorText();
  }

  ServerProcess server;
  ASSERT_TRUE(server.Start(kFast));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  server.WriteLine("capture " + fifo);
  EXPECT_TRUE(
      server.WaitForError("Unable to open the capture file " + fifo + ": not a regular file\n"))
      << server.ErrorText();
  EXPECT_EQ(WalkTheRoad(port), "");
  EXPECT_EQ(server.Stop(), 0);
  std::remove(fifo.c_str());
}

// A disk that fills stops the capture with its message; the file ends on a
// whole block and reads to its end, and the server goes on serving.
TEST(NeverBlockTest, AFullDiskLeavesACaptureThatReads) {
  SmallDisk disk(256 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
  ASSERT_TRUE(disk.LeaveRoom(16 * 1024));
  const std::string path = disk.Path("road.pcapng");
  ServerProcess server;
  ASSERT_TRUE(server.Start(Fast({"--capture", path})));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  // The reason is the system's: "No space left on device", or "Disk full".
  const std::string stopped = "Capture stopped: Unable to write the capture file " + path + ": ";
  for (int road = 0; road < 40 && !server.WaitForError(stopped, 50); ++road) {
    ASSERT_EQ(WalkTheRoad(port), "");
  }
  EXPECT_TRUE(server.WaitForError(stopped)) << server.ErrorText();
  EXPECT_EQ(WalkTheRoad(port), "");
  EXPECT_EQ(server.Stop(), 0);

  std::size_t blocks = 0;
  EXPECT_TRUE(EndsOnAWholeBlock(path, blocks));
  EXPECT_GT(blocks, 2u);
  const Tshark tshark(path, port);
  if (!tshark.Available()) GTEST_SKIP() << "tshark is not installed";
  const ToolRun read = tshark.Run("-q");
  EXPECT_EQ(read.status, 0) << read.err;
}

// A client that resets its connection goes from the table at once, as one
// that closes does.
TEST(NeverBlockTest, ClientsThatResetLeaveTheTable) {
  ServerProcess server;
  ASSERT_TRUE(server.Start(kFast));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  ASSERT_EQ(ConnectionsShown(server), "connections: 0");
  std::vector<int> clients;
  for (int i = 0; i < 10; ++i) clients.push_back(ConnectClient(port));
  for (int i = 0; i < 100 && ConnectionsShown(server) != "connections: 10"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(ConnectionsShown(server), "connections: 10");
  for (const int fd : clients) {
    // A zero linger time closes with a reset.
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
  }
  std::string shown;
  for (int i = 0; i < 100 && (shown = ConnectionsShown(server)) != "connections: 0"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(shown, "connections: 0");
  EXPECT_EQ(WalkTheRoad(port), "");
  EXPECT_EQ(server.Stop(), 0);
}

// At the fast cadence every connection of a burst is kept and accepted: none
// waits for its system to try again a second later.
TEST(NeverBlockTest, SixteenClientsOnTheRoadTakeAboutAsLongAsOne) {
  ServerProcess server;
  ASSERT_TRUE(server.Start(kFast));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  using Clock = std::chrono::steady_clock;
  std::vector<std::string> outcomes(16);
  std::vector<double> seconds(16);
  std::vector<std::thread> roads;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    roads.emplace_back([&, i] {
      const auto start = Clock::now();
      outcomes[i] = WalkTheRoad(port, static_cast<std::uint8_t>(i % 9));
      seconds[i] = std::chrono::duration<double>(Clock::now() - start).count();
    });
  }
  for (std::thread& road : roads) road.join();
  for (const std::string& outcome : outcomes) EXPECT_EQ(outcome, "");
  // A dropped connection attempt is tried again after a second.
  EXPECT_LT(*std::max_element(seconds.begin(), seconds.end()), 1.0);
  EXPECT_EQ(server.Stop(), 0);
}

// A database that loads but cannot serve says so at start, with what it read.
TEST(NeverBlockTest, APacketDatabaseThatCannotServeSaysWhy) {
  struct Case {
    const char* Text;
    const char* Said;
  };
  const Case cases[] = {
      {"packet_ver: abc\n0x0072,19,wanttoconnection,2\n",
       "line 1: \"packet_ver: abc\" has no version number; read as version 1\n"},
      {"packet_ver: -5\n",
       "line 1: \"packet_ver: -5\" is outside the versions 1 to 65535; read "
       "as version 1\n"},
      {"packet_ver:\n", "no version holds a packet\n"},
      {"packet_ver: 5\n0x0072,19,wanttoconnection,2\n",
       "versions 6 to 13, 15, 16, 18, 20, 21 have no map login (wanttoconnection)"},
      {"packet_ver: 5\n0x0072,19,wanttoconnection,2\n0x0085,5,walktoxyy,2\n",
       ", line 3: \"walktoxyy\" is none of the nine packet names (did you mean walktoxy?)"},
  };
  const std::string path = TempName("packet_db.txt");
  for (const Case& c : cases) {
    std::ofstream(path) << c.Text;
    ServerProcess server;
    ASSERT_TRUE(server.Start(Fast({"--packet-db", path})));
    ASSERT_GT(server.WaitForListening(), 0) << server.ErrorText();
    EXPECT_TRUE(server.WaitForError(c.Said)) << server.ErrorText();
    EXPECT_TRUE(server.WaitForError("Packet database " + path + ": ")) << server.ErrorText();
    EXPECT_EQ(server.Stop(), 0);
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace quib::test
