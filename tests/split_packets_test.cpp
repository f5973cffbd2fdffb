// Packets as TCP is free to deliver them, against the built server: every
// packet of the road and of the map, cut at every byte boundary with its
// pieces a few milliseconds apart, gets exactly the replies and log lines it
// gets whole. A login sent a byte at a time is answered after its last byte, a
// chat and a walk in one write are two packets, and a packet that stays short
// is handled once a tick brings nothing more. The capture holds what each
// client sent, one frame per packet as the server framed it.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <thread>
#include <vector>

#include "tests/reply_shape.h"
#include "tests/server_process.h"
#include "tests/test_support.h"
#include "tests/tshark.h"

namespace quib::test {
namespace {

using std::chrono::milliseconds;

constexpr int kWait = 5000;
const std::string kInMap = "7F000001- Map: PacketVersion = 5";
const std::string kV5 = ", packet version 5";

// Where a row's packets are sent: on a connection of their own, after a
// character connect, in the map, or in the map with no other client there
// (their replies go to everyone in the map).
enum class Place { kFresh, kCharacter, kMap, kMapAlone };
// How they are cut: at every byte boundary (each cut a run of its own, after
// a run of the whole), a byte at a time, not at all, or only `Sent` bytes sent.
enum class Cut { kEveryBoundary, kEveryByte, kWhole, kStaysShort };

struct Row {
  const char* Name;
  Place Where;
  Cut How;
  std::vector<Bytes> Packets;         // sent together, one after the other
  std::vector<std::string> Comments;  // the capture's reading of each
  std::vector<Reply> Replies;
  std::vector<std::string> Lines;  // the log lines of each run
  bool Closes = false;
  std::size_t Sent = 0;
};

std::vector<Row> Rows() {
  using enum Place;
  using enum Cut;
  const Bytes walk = {0x85, 0x00, 0x25, 0x8A, 0xA0};  // to the start cell: the same reply each time
  const Bytes chat = Chat("hello");
  std::vector<Reply> loaded(55, {0x00B0, 8});
  loaded.insert(loaded.end(), {{0x00A3, 4}, {0x00A4, 4}});
  return {
      {"login",
       kFresh,
       kEveryBoundary,
       {LoginRequest()},
       {"0x0064 Login request"},
       {{0x0069, 79}},
       {"CharSvrReq - 7F000001"},
       true},
      {"login a byte at a time",
       kFresh,
       kEveryByte,
       {LoginRequest()},
       {"0x0064 Login request"},
       {{0x0069, 79}},
       {"CharSvrReq - 7F000001"},
       true},
      {"character connect",
       kFresh,
       kEveryBoundary,
       {CharConnect()},
       {"0x0065 Character connect"},
       {{kEcho, 4}, {0x006B, 978}},
       {"CharactersReq - 7F000001"}},
      {"character select",
       kCharacter,
       kEveryBoundary,
       {CharSelect(0)},
       {"0x0066 Character select"},
       {{0x0071, 28}},
       {"Character Select: 0 - 7F000001"},
       true},
      {"map login",
       kFresh,
       kEveryBoundary,
       {MapLogin()},
       {"0x0072 Map login" + kV5},
       {{kEcho, 4}, {0x0073, 11}, {0x008D, 46}, {0x008D, 76}},
       {kInMap}},
      {"map loaded", kMap, kEveryBoundary, {Le16(0x007D)}, {"0x007D Map loaded" + kV5}, loaded, {}},
      {"tick",
       kMap,
       kEveryBoundary,
       {Concat({Le16(0x007E), Le32(777)})},
       {"0x007E Tick" + kV5},
       {{0x007F, 6}},
       {}},
      {"walk", kMap, kEveryBoundary, {walk}, {"0x0085 Walk" + kV5}, {{0x0087, 12}}, {}},
      {"user count",
       kMap,
       kEveryBoundary,
       {Le16(0x00C1)},
       {"0x00C1 User count request" + kV5},
       {{0x00C2, 6}},
       {}},
      {"restart",
       kMap,
       kEveryBoundary,
       {Concat({Le16(0x00B2), Bytes{1}})},
       {"0x00B2 Restart" + kV5},
       {{0x00B3, 3}},
       {}},
      {"walk that stays short",
       kMap,
       kStaysShort,
       {walk},
       {"0x0085 Walk" + kV5 + "; short: 3 of 5 bytes"},
       {{0x0087, 12}},
       {"Short Packet (0x85) - 7F000001: 3 of 5 bytes"},
       false,
       3},
      {"chat",
       kMapAlone,
       kEveryBoundary,
       {chat},
       {"0x008C Chat" + kV5},
       {{0x008D, 13, "hello"}},
       {}},
      {"emotion",
       kMapAlone,
       kEveryBoundary,
       {Concat({Le16(0x00BF), Bytes{5}})},
       {"0x00BF Emotion" + kV5},
       {{0x00C0, 7}},
       {}},
      {"sndoridori",
       kMapAlone,
       kEveryBoundary,
       {Le16(0x01E7)},
       {"0x01E7 Sndoridori" + kV5},
       {{0x009C, 9}},
       {}},
      {"chat and walk in one write",
       kMapAlone,
       kWhole,
       {chat, walk},
       {"0x008C Chat" + kV5, "0x0085 Walk" + kV5},
       {{0x008D, 13, "hello"}, {0x0087, 12}},
       {}},
  };
}

// The pieces of each run of a row.
std::vector<std::vector<Bytes>> RunsOf(const Row& row) {
  Bytes all;
  for (const Bytes& packet : row.Packets) all.insert(all.end(), packet.begin(), packet.end());
  const auto part = [&](std::size_t from, std::size_t to) {
    return Bytes(all.begin() + static_cast<std::ptrdiff_t>(from),
                 all.begin() + static_cast<std::ptrdiff_t>(to));
  };
  std::vector<std::vector<Bytes>> runs{{all}};
  if (row.How == Cut::kStaysShort) runs = {{part(0, row.Sent)}};
  if (row.How == Cut::kEveryByte) {
    runs = {{}};
    for (std::size_t i = 0; i < all.size(); ++i) runs[0].push_back(part(i, i + 1));
  }
  if (row.How == Cut::kEveryBoundary) {
    for (std::size_t cut = 1; cut < all.size(); ++cut) {
      runs.push_back({part(0, cut), part(cut, all.size())});
    }
  }
  return runs;
}

// One client connection, and the frames the capture must hold for it.
struct Client {
  int fd = -1;
  int port = 0;
  std::vector<std::pair<Bytes, std::string>> frames;

  bool Open(std::int32_t serverPort) {
    fd = ConnectClient(serverPort);
    if (fd < 0) return false;
    const int one = 1;  // each piece a segment of its own
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in own{};
    socklen_t size = sizeof own;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &size);
    port = ntohs(own.sin_port);
    return true;
  }
  bool Send(const Bytes& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // Sends one packet whole and takes its `size` bytes of replies.
  bool Exchange(const Bytes& packet, const std::string& comment, std::size_t size) {
    frames.push_back({packet, comment});
    return Send(packet) && ReadExactly(fd, size, kWait).size() == size;
  }
};

// The runs one connection plays, in turn: a row's runs on a connection of
// their own, or every run of the rows that share one.
struct Job {
  Place Where;
  std::vector<std::pair<std::size_t, std::size_t>> Runs;  // row, run
  Client Connection;
  std::string Fault;
};

class SplitPacketsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const Row& row : rows) runs.push_back(RunsOf(row));
    for (const auto& row : runs) replies.emplace_back(row.size());
  }

  // Plays the table against a server started with `cadence`.
  void PlayTable(const std::vector<std::string>& cadence, milliseconds tick);

  // One job; "" when every reply came as it should.
  std::string Play(Job& job, std::int32_t port, milliseconds gap, milliseconds tick) {
    Client& client = job.Connection;
    if (!client.Open(port)) return "no connection";
    if (job.Where == Place::kCharacter &&
        !client.Exchange(CharConnect(), "0x0065 Character connect", 4 + 978)) {
      return "no character list";
    }
    if ((job.Where == Place::kMap || job.Where == Place::kMapAlone) &&
        !client.Exchange(MapLogin(), "0x0072 Map login" + kV5, kMapGreetingSize)) {
      return "no map greeting";
    }
    for (const auto& [r, k] : job.Runs) {
      const Row& row = rows[r];
      const std::string run = std::string(row.Name) + ", run " + std::to_string(k) + ": ";
      const std::vector<Bytes>& pieces = runs[r][k];
      for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(gap);
        if (i > 0 && WaitReadable(client.fd, 0)) return run + "answered before its last byte";
        if (!client.Send(pieces[i])) return run + "a send failed";
      }
      if (row.How == Cut::kStaysShort) client.frames.push_back({pieces[0], row.Comments[0]});
      for (std::size_t p = 0; p < row.Packets.size() && row.How != Cut::kStaysShort; ++p) {
        client.frames.push_back({row.Packets[p], row.Comments[p]});
      }
      replies[r][k] = ReadExactly(client.fd, SizeOf(row.Replies), kWait);
      const std::string shape = CheckShape(replies[r][k], row.Replies);
      if (!shape.empty()) return run + shape;
      if (row.Closes && !PeerClosed(client.fd, kWait)) return run + "not closed after its reply";
    }
    // Nothing comes that was not due, one tick later either.
    if (!rows[job.Runs.back().first].Closes &&
        !ReadAvailable(client.fd, static_cast<int>(2 * tick.count() + 50)).empty()) {
      return std::string(rows[job.Runs.back().first].Name) + ": more replies than due";
    }
    return "";
  }

  const std::vector<Row> rows = Rows();
  std::vector<std::vector<std::vector<Bytes>>> runs;  // row, run, piece
  std::vector<std::vector<Bytes>> replies;            // row, run
};

void SplitPacketsTest::PlayTable(const std::vector<std::string>& cadence, milliseconds tick) {
  const std::string path = ::testing::TempDir() + "quib_split_" + std::to_string(::getpid()) + "_" +
                           std::to_string(tick.count()) + ".pcapng";
  ServerProcess server;
  std::vector<std::string> args{"--headless", "--port", "0", "--capture", path};
  args.insert(args.end(), cadence.begin(), cadence.end());
  ASSERT_TRUE(server.Start(args));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  const milliseconds gap{std::clamp<std::int64_t>(tick.count() / 5, 1, 4)};

  // A connection per run, but one for all runs of a row in the map. The
  // rows whose replies go to everyone in the map come last, on one
  // connection, once no other client is there.
  std::deque<Job> jobs;
  Job alone{Place::kMapAlone, {}, {}, {}};
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t k = 0; k < runs[r].size(); ++k) {
      if (rows[r].Where == Place::kMapAlone) {
        alone.Runs.push_back({r, k});
      } else if (rows[r].Where == Place::kMap && k > 0) {
        jobs.back().Runs.push_back({r, k});
      } else {
        jobs.push_back({rows[r].Where, {{r, k}}, {}, {}});
      }
    }
  }
  std::vector<std::thread> threads;
  for (Job& job : jobs) {
    std::this_thread::sleep_for(milliseconds(2));  // the listener's backlog is 1
    threads.emplace_back(
        [this, one = &job, port, gap, tick] { one->Fault = Play(*one, port, gap, tick); });
  }
  for (std::thread& thread : threads) thread.join();
  for (Job& job : jobs) ::close(job.Connection.fd);
  jobs.push_back(std::move(alone));
  jobs.back().Fault = Play(jobs.back(), port, gap, tick);
  ::close(jobs.back().Connection.fd);

  std::map<std::string, int> expected;
  int count = 0;
  for (const Job& job : jobs) {
    EXPECT_EQ(job.Fault, "");
    const auto expect = [&](const std::string& line) { ++expected[line], ++count; };
    if (job.Where == Place::kCharacter) expect("CharactersReq - 7F000001");
    if (job.Where == Place::kMap || job.Where == Place::kMapAlone) expect(kInMap);
    for (const auto& [r, k] : job.Runs) {
      for (const std::string& line : rows[r].Lines) expect(line);
    }
  }
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t k = 1; k < runs[r].size() && rows[r].How == Cut::kEveryBoundary; ++k) {
      EXPECT_EQ(Masked(replies[r][k], rows[r].Replies), Masked(replies[r][0], rows[r].Replies))
          << rows[r].Name << " cut after " << k << " bytes";
    }
  }
  std::map<std::string, int> logged;
  for (int i = 0; i < count; ++i) {
    const auto line = server.ReadLine(kWait);
    if (!line) break;
    ++logged[*line];
  }
  if (const auto extra = server.ReadLine(static_cast<int>(2 * tick.count() + 100)))
    ++logged[*extra];
  EXPECT_EQ(logged, expected);
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  const Tshark tshark(path, port);
  if (!tshark.Available()) {
    std::remove(path.c_str());
    GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh test)";
  }
  EXPECT_EQ(tshark.Faults(), "");
  std::map<int, std::vector<std::pair<Bytes, std::string>>> frames;
  for (const Tshark::Frame& frame : tshark.ClientFrames()) {
    frames[frame.ClientPort].push_back({frame.Data, frame.Comment});
  }
  for (const Job& job : jobs) {
    EXPECT_EQ(frames[job.Connection.port], job.Connection.frames)
        << rows[job.Runs.front().first].Name << ", run " << job.Runs.front().second;
  }
  std::remove(path.c_str());
}

// The designed tick, 250 ms. Accepts come without their wait, which holds up
// every connection alike and plays no part in framing: the table's hundred
// connections would take it fifty seconds.
TEST_F(SplitPacketsTest, AtTheDesignedTickEveryCutGetsWhatTheWholeGets) {
  PlayTable({"--accept-delay", "0"}, milliseconds(250));
}

TEST_F(SplitPacketsTest, AtTheFastestCadenceEveryCutGetsWhatTheWholeGets) {
  PlayTable({"--accept-delay", "0", "--tick", "10"}, milliseconds(10));
}

}  // namespace
}  // namespace quib::test
