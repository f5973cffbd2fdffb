// The shipped Wireshark dissector, dissector/quib.lua, run by tshark: on the
// server's own capture of the road, on a live loopback capture of the same road
// sent in pieces and in bursts, and on a map login of every detected version.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "capture/packet_capture.h"
#include "tests/server_process.h"
#include "tests/test_support.h"
#include "tests/tshark.h"

namespace quib::test {
namespace {

// What the dissector read from a capture: per conversation (TCP stream) and
// direction, each field's values in the order of the file, joined by '|'.
using Reading = std::map<std::string, std::string>;
using Readings = std::map<std::pair<int, bool>, Reading>;

const char* const kFields[] = {
    "quib.name",    "quib.id",   "quib.length",  "quib.account_id", "quib.character_id",
    "quib.slot",    "quib.map",  "quib.x",       "quib.y",          "quib.text",
    "quib.address", "quib.port", "quib.version", "quib.tick",       "quib.emotion"};

std::string TsharkOn(const std::string& file, std::int32_t port, const std::string& args) {
  return "tshark -X lua_script:" QUIB_DISSECTOR " -d tcp.port==" + std::to_string(port) +
         ",quib -r " + file + " " + args;
}

// Every quib field of every frame; a failure when tshark or the script says
// anything on standard error or any frame is malformed or has a Lua error.
// `passes` "-2": the frames are read again after a first pass over the file, as
// in Wireshark's window.
Readings Read(const std::string& file, std::int32_t port, const std::string& passes = "") {
  const ToolRun faults = Shell(
      TsharkOn(file, port, passes + " -Y '_ws.malformed || _ws.expert.severity == error' -V"));
  EXPECT_EQ(faults.status, 0) << faults.err;
  EXPECT_EQ(faults.err, "");
  EXPECT_EQ(faults.out, "");
  // No display filter: a first pass without one builds no full tree.
  std::string args = passes +
                     " -T fields -E occurrence=a -E aggregator='|' -e tcp.stream -e "
                     "tcp.dstport";
  for (const char* field : kFields) args += std::string(" -e ") + field;
  std::istringstream lines(Shell(TsharkOn(file, port, args)).out);
  Readings readings;
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> columns;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) columns.push_back(cell);
    columns.resize(2 + std::size(kFields));
    if (columns[2].empty()) continue;  // no quib packet in this frame
    Reading& reading = readings[{std::stoi(columns[0]), columns[1] == std::to_string(port)}];
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
      if (columns[2 + i].empty()) continue;
      std::string& values = reading[kFields[i]];
      values += (values.empty() ? "" : "|") + columns[2 + i];
    }
  }
  return readings;
}

std::string Repeat(const std::string& value, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += (i == 0 ? "" : "|") + value;
  return all;
}

// The road: login, character list and select, the map and its packets, and an
// unknown id. Sent in pieces, a write's packet is cut after `cut` bytes, and
// packets that share a write go out in one segment.
struct Write {
  int connection;  // 0 login, 1 character server, 2 map
  std::vector<Bytes> packets;
  std::size_t replyBytes;
  std::size_t cut;  // in pieces: the first piece's size (0: whole)
};

// A chat whose length field counts its 4-byte head. Sent alone, it frames the
// same whether the field is read as the total length or as the text's.
Bytes ChatWithTotalLength(const std::string& text) {
  return Concat({Le16(0x008C), Le16(static_cast<std::uint16_t>(4 + text.size())), FromText(text)});
}

const std::vector<Write>& Road() {
  static const std::vector<Write> road = {
      {0, {LoginRequest()}, 79, 1},
      {1, {CharConnect()}, 4 + 978, 3},
      {1, {CharSelect(2)}, 28, 2},
      {2, {MapLogin()}, kMapGreetingSize, 10},
      {2, {Walk(), Bytes{0xBF, 0x00, 3}}, 12 + 7, 0},
      {2, {Concat({Le16(0x007E), Le32(77)}), Le16(0x00C1), Bytes{0xB2, 0x00, 1}}, 6 + 6 + 3, 0},
      {2, {ChatWithTotalLength("hello")}, 13, 5},
      {2, {Le16(0x007D)}, 55 * 8 + 4 + 4, 1},
      {2, {Concat({Le16(0x0436), Zeros(6)})}, 0, 0},
  };
  return road;
}

// Walks the road; `inPieces`: cut packets, and packets of a write in one
// segment, else each packet whole and alone.
void WalkRoad(std::int32_t port, bool inPieces) {
  int fds[3] = {-1, -1, -1};
  for (const Write& write : Road()) {
    int& fd = fds[write.connection];
    if (fd < 0) {
      for (int& other : fds) {
        if (other >= 0) CloseClientSocket(other);
        other = -1;
      }
      fd = ConnectClient(port);
      ASSERT_GE(fd, 0);
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    std::vector<Bytes> sends = write.packets;
    if (inPieces && write.cut > 0) {
      const Bytes& whole = write.packets.front();
      sends = {Bytes(whole.begin(), whole.begin() + write.cut),
               Bytes(whole.begin() + write.cut, whole.end())};
    } else if (inPieces) {
      sends = {Bytes()};
      for (const Bytes& packet : write.packets) sends[0] = Concat({sends[0], packet});
    }
    for (const Bytes& bytes : sends) SendAll(fd, bytes);
    EXPECT_EQ(ReadExactly(fd, write.replyBytes, 5000).size(), write.replyBytes);
  }
  // The unknown id is dropped with what follows it, unanswered.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  CloseClientSocket(fds[2]);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

std::string Conversation(const std::pair<int, bool>& key) {
  return "stream " + std::to_string(key.first) +
         (key.second ? ", to the server" : ", to the client");
}

// What the road reads as, conversation by conversation.
void ExpectTheRoad(const Readings& readings, std::int32_t port) {
  struct Expected {
    int stream;
    bool toServer;
    const char* field;
    std::string values;
  };
  const Expected expected[] = {
      {0, true, "quib.name", "Login request"},
      {0, false, "quib.name", "Server list"},
      {0, false, "quib.text", "Quib-Test Server"},
      {0, false, "quib.account_id", "2000000"},
      {0, false, "quib.address", "127.0.0.1"},
      {0, false, "quib.port", std::to_string(port)},
      {1, true, "quib.name", "Character connect|Character select"},
      {1, true, "quib.account_id", "2000000"},
      {1, true, "quib.slot", "2"},
      {1, false, "quib.name", "Account echo|Character list|Map server"},
      {1, false, "quib.account_id", "2000000"},
      {1, false, "quib.character_id",
       "19000|19001|19002|19003|19004|19005|19006|19007|19008|19002"},
      {1, false, "quib.text", "Slot 1|Slot 2|Slot 3|Slot 4|Slot 5|Slot 6|Slot 7|Slot 8|Slot 9"},
      {1, false, "quib.map", "prontera.gat"},
      {1, false, "quib.address", "127.0.0.1"},
      {1, false, "quib.port", std::to_string(port)},
      {2, true, "quib.name",
       "Map login|Walk|Emotion|Tick|User count request|Restart|Chat|Map loaded|"
       "Unknown packet|Dropped"},
      {2, true, "quib.id", "0x0072|0x0085|0x00bf|0x007e|0x00c1|0x00b2|0x008c|0x007d|0x0436"},
      {2, true, "quib.version", Repeat("5", 8)},
      {2, true, "quib.x", "100"},
      {2, true, "quib.y", "120"},
      {2, true, "quib.emotion", "3"},
      {2, true, "quib.length", "9"},
      {2, true, "quib.text", "hello"},
      {2, false, "quib.name",
       "Account echo|Map login reply|Chat line|Chat line|Walk reply|Emotion reply|Tick reply|"
       "User count|Restart reply|Chat line|" +
           Repeat("Status", 55) + "|Status list|Status list"},
      {2, false, "quib.x", "150|100"},
      {2, false, "quib.y", "170|120"},
      {2, false, "quib.emotion", "3"},
      {2, false, "quib.text",
       "System : Welcome to the Quib-Server!!!|System : Note, This is not intended to be a "
       "fully functional server.|hello"},
  };
  EXPECT_EQ(readings.size(), 6u);
  for (const Expected& e : expected) {
    const auto reading = readings.find({e.stream, e.toServer});
    ASSERT_NE(reading, readings.end()) << "stream " << e.stream;
    const auto values = reading->second.find(e.field);
    EXPECT_EQ(values == reading->second.end() ? "" : values->second, e.values)
        << Conversation(reading->first) << ", " << e.field;
  }
}

class DissectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Shell("command -v tshark").out.empty()) {
      GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh test)";
    }
    path = ::testing::TempDir() + "quib_dissector_" + std::to_string(::getpid()) + ".pcapng";
  }
  void TearDown() override { std::remove(path.c_str()); }

  // The server on a free port, writing its capture.
  std::int32_t StartServer(const std::string& tick) {
    if (!server.Start({"--headless", "--port", "0", "--accept-delay", "0", "--tick", tick,
                       "--capture", path})) {
      return -1;
    }
    return server.WaitForListening();
  }

  std::string path;
  ServerProcess server;
};

TEST_F(DissectorTest, TheServersCaptureOfTheRoadReadsPacketByPacket) {
  const std::int32_t port = StartServer("10");
  ASSERT_GT(port, 0) << server.ErrorText();
  WalkRoad(port, false);
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  ExpectTheRoad(Read(path, port), port);
  // The server frames one client packet a frame: every frame with bytes is named.
  EXPECT_EQ(Shell(TsharkOn(path, port, "-Y 'tcp.len > 0 && !quib.name'")).out, "");

  // The server's comments, on its frames and the client's, say what the
  // dissector says: "0x0085 Walk, packet version 5" of a frame it names Walk.
  std::istringstream commented(
      Shell(TsharkOn(path, port,
                     "-Y frame.comment -T fields -E occurrence=f -e frame.comment "
                     "-e quib.name"))
          .out);
  int comments = 0;
  for (std::string line; std::getline(commented, line); ++comments) {
    const std::size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    std::string comment = line.substr(0, tab);
    const std::string name = line.substr(tab + 1);
    if (comment.rfind("0x", 0) == 0 && comment.size() > 7) comment.erase(0, 7);
    EXPECT_EQ(comment.rfind(name, 0), 0u) << line;
  }
  EXPECT_GT(comments, 20);
}

TEST_F(DissectorTest, ALiveCaptureOfTheRoadInPiecesReadsAsTheServersOwn) {
  if (::geteuid() != 0) GTEST_SKIP() << "a live capture on lo needs root";
  if (Shell("command -v dumpcap").out.empty()) GTEST_SKIP() << "dumpcap is not installed";
  // The designed tick: each packet's pieces, sent back to back, reach the
  // server within one tick.
  const std::int32_t port = StartServer("250");
  ASSERT_GT(port, 0) << server.ErrorText();
  const std::string live = path + ".live.pcapng";
  LiveCapture capture;
  ASSERT_TRUE(capture.Start(port, live)) << capture.Stop();
  WalkRoad(port, true);
  const std::string said = capture.Stop();
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  const Readings own = Read(path, port);
  ExpectTheRoad(own, port);
  for (const std::string passes : {"", "-2"}) {
    const Readings read = Read(live, port, passes);
    EXPECT_EQ(read.size(), own.size()) << said;
    for (const auto& [key, reading] : own) {
      EXPECT_EQ(read.count(key) ? read.at(key) : Reading(), reading)
          << Conversation(key) << (passes.empty() ? "" : ", read twice");
    }
  }
  // Pieces and bursts: the live capture has frames that hold part of a packet,
  // and frames that hold several.
  EXPECT_NE(Shell(TsharkOn(live, port, "-Y 'tcp.len > 0 && !quib'")).out, "");
  const std::string perFrame = Shell(TsharkOn(live, port, "-Y quib -T fields -e quib.name")).out;
  EXPECT_NE(perFrame.find("Walk,Emotion\n"), std::string::npos) << perFrame;
  std::remove(live.c_str());
}

// The detected versions: the id and size of a map login, and the version.
struct DetectedVersion {
  std::uint16_t id;
  std::size_t size;
  int version;
};
constexpr DetectedVersion kDetectedVersions[] = {
    {0x0072, 19, 5},  {0x0072, 22, 6},  {0x0072, 39, 7},  {0x007E, 33, 8},  {0x007E, 37, 9},
    {0x00F5, 34, 10}, {0x00F5, 32, 11}, {0x00F5, 35, 12}, {0x00F5, 29, 13}, {0x009B, 32, 15},
    {0x009B, 26, 16}, {0x009B, 31, 18}, {0x009B, 37, 20}, {0x009B, 35, 21},
};

TEST_F(DissectorTest, AMapLoginOfEveryVersionTellsItsVersionAndItsPackets) {
  const std::int32_t port = StartServer("10");
  ASSERT_GT(port, 0) << server.ErrorText();
  for (const DetectedVersion& row : kDetectedVersions) {
    const int fd = ConnectClient(port);
    ASSERT_GE(fd, 0);
    SendAll(fd, Concat({Le16(row.id), Zeros(row.size - 2)}));
    EXPECT_EQ(ReadExactly(fd, kMapGreetingSize, 5000).size(), kMapGreetingSize);
    SendAll(fd, Walk());
    EXPECT_EQ(ReadExactly(fd, 12, 5000).size(), 12u);
    CloseClientSocket(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  const Readings readings = Read(path, port);
  for (std::size_t i = 0; i < std::size(kDetectedVersions); ++i) {
    const std::string version = std::to_string(kDetectedVersions[i].version);
    Reading client = readings.at({static_cast<int>(i), true});
    EXPECT_EQ(client["quib.name"], "Map login|Walk") << "version " << version;
    EXPECT_EQ(client["quib.version"], version + "|" + version);
  }
}

// The dissector's own reading of packet_db.txt, held against the rules of the
// server's: one map conversation (a version 5 login, a walk to (100, 120), a
// chat whose text is at Positions slot 1) read with each database.
TEST_F(DissectorTest, ThePacketDatabaseIsReadByTheServersRules) {
  PacketCapture capture;
  std::string error;
  ASSERT_TRUE(capture.Open(path, error)) << error;
  Timestamp time = 1'700'000'000'000'000;
  capture.BeginConversation(1, 0x7F000001, 40000, 0x7F000001, 6900, time);
  for (const Bytes& packet : {MapLogin(), Walk(), ChatWithTotalLength("hello")}) {
    capture.ClientData(1, packet.data(), packet.size(), "", time += 1000);
  }
  capture.EndConversation(1, PacketCapture::EndKind::kClientClosed, time += 1000);
  ASSERT_TRUE(capture.Close());

  const std::string login = "0x0072,19,wanttoconnection,2:4\n";
  const std::string walk = "0x0085,5,walktoxy,2\n";
  const std::string chat = "0x008C,-1,globalmessage,2\n";  // slot 1 carried over: 4
  const std::string unknown = "Unknown packet|Dropped";
  struct Case {
    std::string file;
    std::string names;
    std::string x;     // of the walk
    std::string chat;  // its text
  };
  const Case cases[] = {
      {"packet_ver: 5\n" + login + walk + chat, "Map login|Walk|Chat", "100", "hello"},
      {"  packet_ver:5 \r\n114,19,wanttoconnection,2:4,9\r\n0x85,5,walktoxy,2",
       "Map login|Walk|" + unknown, "100", ""},
      {"packet_ver: 4\n" + walk + "packet_ver: 5\n" + login, "Map login|Walk|" + unknown, "100",
       ""},
      {"packet_ver: 5\n" + walk + "packet_ver: 5\n" + login + chat,
       "Map login|" + unknown + "|Chat", "", "hello"},
      {"packet_ver: 5\n0X72,19,wanttoconnection,2\n0x0072,19, walktoxy,2\n// packet_ver: 9\n",
       unknown + "|" + unknown + "|" + unknown, "", ""},
      {"packet_ver: 5\n" + login + "0x0085, 4.51 ,walktoxy,2\n", "Map login|Walk|" + unknown, "100",
       ""},
      // 4.5 rounds to 4: the walk's cell is cut off, and its last byte heads the chat.
      {"packet_ver: 5\n" + login + "0x0085,4.5,walktoxy,2\n" + chat, "Map login|Walk|" + unknown,
       "", ""},
      {login + walk, unknown + "|" + unknown + "|" + unknown, "", ""},  // no section: not read
  };
  const std::string database = path + ".db.txt";
  for (const Case& c : cases) {
    std::ofstream(database, std::ios::binary) << c.file;
    const ToolRun run = Shell(TsharkOn(path, 6900,
                                       "-o quib.packet_db:" + database +
                                           " -Y quib -T fields -E occurrence=a "
                                           "-E aggregator='|' -e quib.name -e quib.x "
                                           "-e quib.text"));
    EXPECT_EQ(run.err, "");
    std::string columns[3], line;
    for (std::istringstream lines(run.out); std::getline(lines, line);) {
      std::istringstream cells(line);
      for (std::string& column : columns) {
        std::string cell;
        std::getline(cells, cell, '\t');
        column += (column.empty() || cell.empty() ? "" : "|") + cell;
      }
    }
    EXPECT_EQ(columns[0], c.names) << c.file;
    EXPECT_EQ(columns[1], c.x) << c.file;
    EXPECT_EQ(columns[2], c.chat) << c.file;
  }
  std::remove(database.c_str());
}

}  // namespace
}  // namespace quib::test
