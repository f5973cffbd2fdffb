// Faults toward the client, over real sockets against the built server (and
// quib-server.exe under Wine): what the client receives with each fault, when,
// how the connection ends, and that a seed repeats a run's faults.
#include <errno.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/server_process.h"
#include "tests/test_support.h"
#include "tests/tshark.h"

namespace quib::test {
namespace {

using Clock = std::chrono::steady_clock;

// What one connection received until the server ended it, when its first
// byte came, and whether it ended in a reset.
struct Received {
  Bytes Data;
  std::int64_t FirstMs = -1;
  bool Reset = false;
};

// Sends `request` on `fd` (after `before` is read) and reads until the end.
Received ReadToTheEnd(int fd, const Bytes& request) {
  Received got;
  const auto sent = Clock::now();
  SendAll(fd, request);
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 3000) <= 0) break;
    std::uint8_t chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0) got.Reset = errno == ECONNRESET;
    if (n <= 0) break;
    if (got.FirstMs < 0) {
      got.FirstMs =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
    }
    got.Data.insert(got.Data.end(), chunk, chunk + n);
  }
  CloseClientSocket(fd);
  return got;
}

std::vector<Received> Logins(std::int32_t port, int count) {
  std::vector<Received> all;
  for (int i = 0; i < count; ++i) all.push_back(ReadToTheEnd(ConnectClient(port), LoginRequest()));
  return all;
}

std::vector<std::size_t> Sizes(const std::vector<Received>& all) {
  std::vector<std::size_t> sizes;
  for (const Received& one : all) sizes.push_back(one.Data.size());
  return sizes;
}

std::int32_t StartWith(ServerProcess& server, std::vector<std::string> extra) {
  std::vector<std::string> args = kFastCadence;
  args.insert(args.end(), extra.begin(), extra.end());
  return server.StartConsole(args);
}

// The server list (0x0069) as a server on `port` sends it without a fault:
// one taken from a server elsewhere, its port written over (offset 51).
Bytes ServerListOn(std::int32_t port) {
  static Bytes list;
  static std::int32_t listPort = 0;
  if (list.empty()) {
    ServerProcess server;
    listPort = StartWith(server, {});
    if (listPort > 0) list = Logins(listPort, 1)[0].Data;
  }
  Bytes on = list;
  if (on.size() < 53) return on;
  const bool little = U16(on, 51) == listPort;
  on[little ? 51 : 52] = static_cast<std::uint8_t>(port & 0xFF);
  on[little ? 52 : 51] = static_cast<std::uint8_t>(port >> 8);
  return on;
}

// True once the log (standard output) has a line that holds `text`.
bool LogSays(ServerProcess& server, const std::string& text) {
  for (auto line = server.ReadLine(3000); line; line = server.ReadLine(3000)) {
    if (line->find(text) != std::string::npos) return true;
  }
  return false;
}

TEST(FaultsTest, EachFaultAsTheClientSeesIt) {
  ASSERT_EQ(ServerListOn(0).size(), 79u);
  Bytes list;
  const struct {
    std::vector<std::string> Args;
    int Logins;
    std::function<void(const std::vector<Received>&)> Check;
  } cases[] = {
      {{"--fault", "slice:7,reply=0x0069"},
       1,
       [&](const auto& got) { EXPECT_EQ(got[0].Data, list); }},
      {{"--fault", "drop,reply=0x0069,count=1"},
       2,
       [&](const auto& got) {
         EXPECT_EQ(Sizes(got), (std::vector<std::size_t>{0, 79}));
       }},
      {{"--fault", "duplicate,reply=0x0069"},
       1,
       [&](const auto& got) {
         EXPECT_EQ(got[0].Data, Concat({list, list}));
       }},
      {{"--fault", "truncate:10,reply=0x0069"},
       1,
       [&](const auto& got) { EXPECT_EQ(got[0].Data, Bytes(list.begin(), list.begin() + 10)); }},
      {{"--fault", "corrupt:2,reply=0x0069"},
       1,
       [&](const auto& got) {
         ASSERT_EQ(got[0].Data.size(), list.size());
         int changed = 0;
         for (std::size_t i = 0; i < list.size(); ++i) changed += got[0].Data[i] != list[i];
         EXPECT_TRUE(changed == 1 || changed == 2) << changed;
       }},
      // The first passes (after), then every second fires, twice at most.
      {{"--fault", "drop,reply=0x0069,after=1,every=2,count=2"},
       7,
       [&](const auto& got) {
         EXPECT_EQ(Sizes(got), (std::vector<std::size_t>{79, 0, 79, 0, 79, 79, 79}));
       }},
      {{"--fault", "close,drop,reply=0x0069"},
       1,
       [&](const auto& got) { EXPECT_TRUE(got[0].Data.empty() && !got[0].Reset); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args.back());
    ServerProcess server;
    const std::int32_t port = StartWith(server, c.Args);
    ASSERT_GT(port, 0) << server.ErrorText();
    list = ServerListOn(port);
    c.Check(Logins(port, c.Logins));
    EXPECT_TRUE(LogSays(server, "Fault 1: 0x0069 "));
    EXPECT_EQ(server.Stop(), 0);
  }
}

// A delay keeps its time, not the tick's: at a tick of 1000 ms the map
// login reply comes 300 ms after the account echo ahead of it, and what
// follows it waits behind it.
TEST(FaultsTest, ADelayIsTimedByItsDeadline) {
  ServerProcess server;
  const std::int32_t port =
      StartWith(server, {"--tick", "1000", "--fault", "delay:300,reply=0x0073"});
  ASSERT_GT(port, 0) << server.ErrorText();
  const int fd = ConnectClient(port);
  SendAll(fd, MapLogin());
  ASSERT_EQ(ReadExactly(fd, 4, 3000).size(), 4u);  // the account echo
  const auto echo = Clock::now();
  const Bytes reply = ReadExactly(fd, 2, 3000);
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - echo).count();
  ASSERT_EQ(reply.size(), 2u);
  EXPECT_EQ(U16(reply, 0), 0x0073);
  EXPECT_GE(waited, 290);  // the echo's read takes a moment of the 300
  EXPECT_LT(waited, 300 + 100);
  CloseClientSocket(fd);
}

// A reset after the map server's address: the client reads the whole 0x0071,
// then a reset, never an orderly end.
TEST(FaultsTest, AResetAfterAReplyIsAResetAfterIt) {
  ServerProcess server;
  const std::int32_t port = StartWith(server, {"--fault", "reset,reply=0x0071"});
  ASSERT_GT(port, 0) << server.ErrorText();
  const int fd = ConnectClient(port);
  SendAll(fd, CharConnect());
  ASSERT_EQ(ReadExactly(fd, 4 + 978).size(), 4u + 978u);
  const Received got = ReadToTheEnd(fd, CharSelect(0));
  EXPECT_EQ(got.Data.size(), 28u);
  EXPECT_EQ(U16(got.Data, 0), 0x0071);
  EXPECT_TRUE(got.Reset);
  EXPECT_TRUE(LogSays(server, "Fault 1: 0x0071 sent, then the connection reset - 7F000001"));
}

// The same seed gives the same faults: which fire, where they corrupt and how
// long each delay is, as the journal tells them.
TEST(FaultsTest, TheSameSeedRepeatsTheRun) {
  const std::string journal = ::testing::TempDir() + "quib_faults_" + std::to_string(::getpid());
  std::vector<std::string> told[2];
  for (auto& run : told) {
    ServerProcess server;
    const std::int32_t port =
        StartWith(server, {"--seed", "7", "--journal", journal, "--fault",
                           "corrupt:3,p=0.5,reply=0x0069", "--fault", "delay:0,jitter=40"});
    ASSERT_GT(port, 0) << server.ErrorText();
    Logins(port, 6);
    ASSERT_EQ(server.Stop(), 0);
    std::ifstream lines(journal);
    const std::regex fault("\"event\":\"fault\".*\"text\":\"([^\"]*)\"");
    for (std::string line; std::getline(lines, line);) {
      std::smatch found;
      if (std::regex_search(line, found, fault)) run.push_back(found[1]);
    }
  }
  EXPECT_GE(told[0].size(), 6u);
  EXPECT_EQ(told[0], told[1]);
  std::remove(journal.c_str());
}

// slice:7 as the kernel sees it: a live capture of loopback, each segment the
// server sends at most 7 bytes, together the whole reply.
TEST(FaultsTest, ASliceIsItsOwnSegmentsOnTheWire) {
  if (::geteuid() != 0 || Shell("command -v dumpcap").status != 0) {
    GTEST_SKIP() << "a live capture needs dumpcap and root";
  }
  ServerProcess server;
  const std::int32_t port = StartWith(server, {"--fault", "slice:7,reply=0x0069"});
  ASSERT_GT(port, 0) << server.ErrorText();
  const std::string file =
      ::testing::TempDir() + "quib_slice_" + std::to_string(::getpid()) + ".pcapng";
  ServerProcess dumpcap;
  dumpcap.Binary = "dumpcap";
  // dumpcap is a Linux program whatever the server is: no wrapper.
  const char* wrapper = std::getenv("QUIB_SERVER_WRAPPER");
  const std::string kept = wrapper != nullptr ? wrapper : "";
  ::unsetenv("QUIB_SERVER_WRAPPER");
  const bool started =
      dumpcap.Start({"-i", "lo", "-f", "tcp port " + std::to_string(port), "-w", file});
  if (wrapper != nullptr) ::setenv("QUIB_SERVER_WRAPPER", kept.c_str(), 1);
  ASSERT_TRUE(started);
  ASSERT_TRUE(dumpcap.WaitForError("Capturing on", 5000)) << dumpcap.ErrorText();
  // The message comes as the capture starts, a moment before it takes packets.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const Bytes got = Logins(port, 1)[0].Data;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  dumpcap.Signal(SIGINT);
  dumpcap.Wait();
  const ToolRun read = Shell("tshark -r " + file + " -Y 'tcp.srcport == " + std::to_string(port) +
                             " && tcp.len > 0' -T fields -e tcp.len");
  ASSERT_EQ(read.status, 0) << read.err;
  std::size_t total = 0, segments = 0;
  std::istringstream lengths(read.out);
  for (std::size_t length = 0; lengths >> length; ++segments, total += length) {
    EXPECT_LE(length, 7u);
  }
  EXPECT_EQ(total, 79u) << read.out << Shell("tshark -r " + file).out;
  EXPECT_EQ(segments, 12u);
  EXPECT_EQ(got.size(), 79u);
  std::remove(file.c_str());
}

}  // namespace
}  // namespace quib::test
