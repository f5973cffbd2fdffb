// The shipped Wireshark dissector, quib.lua with the tables the build writes
// beside it, run by tshark: on the server's own capture of the road, on a live
// loopback capture of the same road sent in pieces and in bursts, and on a map
// login of every detected version. What it shows is held against the server's
// own description of the protocol: the C++ rendering of every packet, and the
// C++ reading of the same databases.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

#include "capture/packet_capture.h"
#include "packetdb/version_detection.h"
#include "protocol/packet_cases.h"
#include "protocol/packet_rendering.h"
#include "tests/packet_database_texts.h"
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
    "quib.address", "quib.port", "quib.version", "quib.tick",       "quib.emotion",
    "quib.padding"};

// The dissector on `file`, told that `port` is the protocol's; port 0: told
// nothing, it finds the protocol by itself.
std::string TsharkOn(const std::string& file, std::int32_t port, const std::string& args) {
  return "tshark -X lua_script:" QUIB_DISSECTOR +
         (port > 0 ? " -d tcp.port==" + std::to_string(port) + ",quib" : std::string()) + " -r " +
         file + " " + args;
}

// Every quib field of every frame; a failure when tshark or the script says
// anything on standard error or any frame is malformed or has a Lua error.
// `passes` "-2": the frames are read again after a first pass over the file, as
// in Wireshark's window. `byPort` false: tshark is not told the server's port.
Readings Read(const std::string& file, std::int32_t port, const std::string& passes = "",
              bool byPort = true) {
  const std::int32_t decoded = byPort ? port : 0;
  const ToolRun faults = Shell(
      TsharkOn(file, decoded, passes + " -Y '_ws.malformed || _ws.expert.severity == error' -V"));
  EXPECT_EQ(faults.status, 0) << faults.err;
  EXPECT_EQ(faults.err, "");
  EXPECT_EQ(faults.out, "");
  // No display filter: a first pass without one builds no full tree.
  std::string args = passes +
                     " -T fields -E occurrence=a -E aggregator='|' -e tcp.stream -e "
                     "tcp.dstport";
  for (const char* field : kFields) args += std::string(" -e ") + field;
  std::istringstream lines(Shell(TsharkOn(file, decoded, args)).out);
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

  const Readings readings = Read(path, port);
  ExpectTheRoad(readings, port);
  // Not told the port, it finds the protocol by each client's first packet.
  EXPECT_EQ(Read(path, port, "", false), readings);
  // The server frames one client packet a frame: every frame with bytes is named.
  for (const std::int32_t decoded : {port, 0}) {
    EXPECT_EQ(Shell(TsharkOn(path, decoded, "-Y 'tcp.len > 0 && !quib.name'")).out, "") << decoded;
  }

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

TEST_F(DissectorTest, AMapLoginOfEveryVersionTellsItsVersionAndItsPackets) {
  const std::int32_t port = StartServer("10");
  ASSERT_GT(port, 0) << server.ErrorText();
  const auto detection = DetectionTable();
  for (const DetectionRow& row : detection) {
    const int fd = ConnectClient(port);
    ASSERT_GE(fd, 0);
    SendAll(fd, Concat({Le16(static_cast<std::uint16_t>(row.PacketId)),
                        Zeros(static_cast<std::size_t>(row.BytesReceived) - 2)}));
    EXPECT_EQ(ReadExactly(fd, kMapGreetingSize, 5000).size(), kMapGreetingSize);
    SendAll(fd, Walk());
    EXPECT_EQ(ReadExactly(fd, 12, 5000).size(), 12u);
    CloseClientSocket(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  const Readings readings = Read(path, port);
  for (std::size_t i = 0; i < detection.size(); ++i) {
    const std::string version = std::to_string(detection[i].Version);
    Reading client = readings.at({static_cast<int>(i), true});
    EXPECT_EQ(client["quib.name"], "Map login|Walk") << "version " << version;
    EXPECT_EQ(client["quib.version"], version + "|" + version);
  }
}

// On any port, not told it, the dissector takes a conversation whose first
// client segment is one packet a client opens a connection with, at a listed
// size, or whose handshake the server's capture says joined it; any other is
// left to other dissectors. A map change shows its 4 zero bytes apart.
TEST_F(DissectorTest, AConversationOnAnyPortIsToldByItsFirstClientPacket) {
  const Bytes login = LoginRequest();
  const Bytes tlsHello = Concat({Bytes{0x16, 0x03, 0x01, 0x00, 0x2F, 0x01, 0x00, 0x00, 0x2B},
                                 Bytes{0x03, 0x03}, Zeros(33), Bytes{0, 2, 0x13, 1, 1, 0, 0, 0}});
  const struct {
    std::vector<Bytes> sent;
    std::string names;  // the client's packets as read; empty: left to others
    const char* comment = "";
  } cases[] = {
      {{MapLogin(), Walk()}, "Map login|Walk"},
      {{Walk()}, "Walk", "Connected before the capture started, packet version 5"},
      {{Walk()}, ""},
      {{Concat({login, Bytes{0}})}, ""},
      {{Walk(), login}, ""},
      {{FromText("GET / HTTP/1.1\r\nHost: localhost\r\n\r\n")}, ""},
      {{tlsHello}, ""},
  };
  const Bytes change =
      Concat({Le16(0x0091), FromText("prontera_field_0"), Le16(150), Le16(170), Zeros(4)});
  PacketCapture capture;
  std::string error;
  ASSERT_TRUE(capture.Open(path, error)) << error;
  Timestamp time = 1'700'000'000'000'000;
  PacketCapture::ConversationId id = 0;
  for (const auto& c : cases) {
    ++id;
    capture.BeginConversation(id, 0x7F000001, static_cast<std::uint16_t>(50000 + id), 0x7F000001,
                              40000, time, c.comment);
    for (const Bytes& bytes : c.sent) {
      capture.ClientData(id, bytes.data(), bytes.size(), "", ++time);
    }
    if (!c.names.empty()) capture.ServerData(id, change.data(), change.size(), "", ++time);
    capture.EndConversation(id, PacketCapture::EndKind::kClientClosed, ++time);
  }
  ASSERT_TRUE(capture.Close());

  const Readings readings = Read(path, 40000, "", false);
  const auto read = [&](int stream, bool toServer) {
    const auto found = readings.find({stream, toServer});
    return found == readings.end() ? Reading() : found->second;
  };
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
    Reading server = read(i, false);
    EXPECT_EQ(read(i, true)["quib.name"], cases[i].names) << "stream " << i;
    EXPECT_EQ(server["quib.map"] + " " + server["quib.padding"],
              cases[i].names.empty() ? " " : "prontera_field_0 00000000")
        << "stream " << i;
  }
}

// --- Held against the server's own description ---------------------------------------

// One packet as the dissector frames it: its row, its bytes, the version it
// was read with and why it was dropped.
struct Framed {
  const PacketDescription* Packet;
  Bytes Data;
  int Version = 0;
  std::string_view Why;
};

// How the dissector frames what one client sends, told with the server's own
// tables (the cases, their lengths, the detection table and the server's
// reading of packet_db.txt): segment by segment, the packets each completes.
// A map login is awaited while it is shorter than every size listed for its
// id; a packet not whole waits for the segments that complete it; an unknown
// id takes the rest of the segment with it, and so does a packet with no
// length; after a packet upon which the server closes the connection, all is
// dropped.
class ClientStream {
 public:
  explicit ClientStream(const PacketTable& table) : table_(table) {}

  std::vector<Framed> Segment(const Bytes& segment) {
    const Bytes buffer = Concat({pending_, segment});
    pending_.clear();
    std::vector<Framed> packets;
    if (detecting_ && !Detect(buffer)) {
      pending_ = buffer;
      return packets;
    }
    const VersionEntry* entry = FindVersion(table_, version_);
    std::size_t at = 0;
    while (at < buffer.size()) {
      const Bytes rest(buffer.begin() + static_cast<std::ptrdiff_t>(at), buffer.end());
      if (closed_) {
        packets.push_back({&kDroppedBytes, rest, version_, kDroppedAfterClose});
        return packets;
      }
      if (rest.size() < 2) break;
      const std::uint16_t id = U16(rest, 0);
      const PacketDescription* packet = id == kNoPacket.Id ? &kNoPacket : FindPacketCase(id, entry);
      if (packet == nullptr) {
        packets.push_back({&kUnknownPacket, Bytes(rest.begin(), rest.begin() + 2), version_, {}});
        if (rest.size() > 2) {
          packets.push_back({&kDroppedBytes, Bytes(rest.begin() + 2, rest.end()), version_,
                             kDroppedBehindUnknown});
        }
        return packets;
      }
      if (rest.size() < static_cast<std::size_t>(CaseHeadLength(*packet))) break;
      PacketBuffer head{};
      std::copy_n(rest.begin(), std::min(rest.size(), head.size()), head.begin());
      const std::int32_t length = CaseLength(*packet, entry, head);
      if (length > 0 && static_cast<std::size_t>(length) > rest.size()) break;
      const std::size_t taken = length > 0 ? static_cast<std::size_t>(length) : rest.size();
      packets.push_back({packet,
                         Bytes(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(taken)),
                         version_,
                         {}});
      closed_ = closed_ || packet->Closes;
      at += taken;
    }
    pending_.assign(buffer.begin() + static_cast<std::ptrdiff_t>(at), buffer.end());
    return packets;
  }

  const VersionEntry* Entry() const { return FindVersion(table_, version_); }

 private:
  // False while the map login may still grow into a size listed for its id.
  bool Detect(const Bytes& buffer) {
    if (buffer.size() < 2) return false;
    const std::uint16_t id = U16(buffer, 0);
    const auto size = static_cast<std::int32_t>(buffer.size());
    bool shorter = false;
    for (const DetectionRow& row : DetectionTable()) {
      if (row.PacketId != id) continue;
      if (size >= row.BytesReceived) return Told(id, size);
      shorter = true;
    }
    return !shorter && Told(id, size);
  }
  bool Told(std::uint16_t id, std::int32_t size) {
    detecting_ = false;
    version_ = DetectPacketVersion(id, size).value_or(version_);
    return true;
  }

  const PacketTable& table_;
  Bytes pending_;
  bool detecting_ = true;
  bool closed_ = false;
  int version_ = 0;
};

// The Info text of one frame: its packets, rendered in C++, joined as the
// dissector joins them.
std::string InfoOf(const std::vector<Framed>& packets, const PacketTable& table) {
  std::string info;
  for (const Framed& packet : packets) {
    info += (info.empty() ? "" : "; ") + RenderPacket(*packet.Packet, packet.Data,
                                                      FindVersion(table, packet.Version),
                                                      packet.Version, packet.Why)
                                             .Info;
  }
  return info;
}

// A frame with bytes, as tshark reads it with quib.lua.
struct ShownFrame {
  int Number = 0;
  int Stream = 0;
  bool ToServer = false;
  Bytes Payload;
  std::string Protocol;
  std::string Info;
  std::string Names;     // quib.name, joined by '|'
  std::string Versions;  // quib.version
};

std::vector<ShownFrame> ShownFrames(const std::string& file, std::int32_t port,
                                    const std::string& args = "") {
  const ToolRun run = Shell(TsharkOn(
      file, port,
      args + " -T fields -E occurrence=a -E aggregator='|' -e frame.number -e tcp.stream "
             "-e tcp.dstport -e tcp.len -e tcp.payload -e _ws.col.Protocol -e _ws.col.Info "
             "-e quib.name -e quib.version"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::vector<ShownFrame> frames;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream row(line);
    for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
    cells.resize(9);
    if (cells[3].empty() || cells[3] == "0") continue;
    Bytes payload;
    for (std::size_t i = 0; i + 1 < cells[4].size(); i += 2) {
      payload.push_back(static_cast<std::uint8_t>(std::stoi(cells[4].substr(i, 2), nullptr, 16)));
    }
    frames.push_back({std::stoi(cells[0]), std::stoi(cells[1]), cells[2] == std::to_string(port),
                      payload, cells[5], cells[6], cells[7], cells[8]});
  }
  return frames;
}

// What the frame shows, held against the packets the C++ side frames in it.
void ExpectFrame(const ShownFrame& frame, const std::vector<Framed>& packets,
                 const PacketTable& table, const std::string& what) {
  if (packets.empty()) {
    EXPECT_NE(frame.Protocol, "QUIB") << what << ", frame " << frame.Number << ": " << frame.Info;
    return;
  }
  std::string names, versions;
  for (const Framed& packet : packets) {
    names += (names.empty() ? "" : "|") + std::string(packet.Packet->Name);
    if (packet.Packet->Entry != nullptr) {
      versions += (versions.empty() ? "" : "|") + std::to_string(packet.Version);
    }
  }
  EXPECT_EQ(frame.Info, InfoOf(packets, table)) << what << ", frame " << frame.Number;
  EXPECT_EQ(frame.Names, names) << what << ", frame " << frame.Number;
  EXPECT_EQ(frame.Versions, versions) << what << ", frame " << frame.Number;
}

// Every packet of the server's capture of the road, rendered by the C++ side
// from its description, is what tshark shows of it: the client's packets as
// the dissector frames them, the server's one a frame.
TEST_F(DissectorTest, EveryPacketOfTheRoadRendersAsTsharkShowsIt) {
  const std::int32_t port = StartServer("10");
  ASSERT_GT(port, 0) << server.ErrorText();
  WalkRoad(port, false);
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  const PacketTable table = ShippedTable();
  std::map<int, ClientStream> clients;
  std::map<int, int> echoes;  // owed per stream, as the dissector counts them
  int frames = 0;
  for (const ShownFrame& frame : ShownFrames(path, port)) {
    ClientStream& client = clients.try_emplace(frame.Stream, table).first->second;
    std::vector<Framed> packets;
    if (frame.ToServer) {
      packets = client.Segment(frame.Payload);
      for (const Framed& packet : packets) echoes[frame.Stream] += packet.Packet->OwesEcho;
    } else {
      const PacketDescription* reply = FindServerPacket(U16(frame.Payload, 0));
      if (reply == nullptr && echoes[frame.Stream] > 0) {
        reply = &kAccountEcho;
        --echoes[frame.Stream];
      }
      ASSERT_NE(reply, nullptr) << "frame " << frame.Number;
      packets.push_back({reply, frame.Payload, 0, {}});
    }
    ExpectFrame(frame, packets, table, "the road");
    ++frames;
  }
  EXPECT_GT(frames, 80);
}

// A map login of `row`'s id and size, then one packet of each id the server's
// reading of `table` knows for that version (built to the length it frames it
// by), and the road's walk, chat and restart: each one segment.
std::vector<Bytes> Probes(const DetectionRow& row, const PacketTable& table) {
  const auto packet = [](std::uint16_t id, std::size_t size) {
    Bytes bytes = Concat({Le16(id), Zeros(size > 2 ? size - 2 : 0)});
    for (std::size_t i = 2; i < bytes.size(); ++i) {
      bytes[i] = static_cast<std::uint8_t>('a' + i * 7 % 26);  // text that tshark prints as it is
    }
    return bytes;
  };
  std::vector<Bytes> probes{packet(static_cast<std::uint16_t>(row.PacketId),
                                   static_cast<std::size_t>(row.BytesReceived))};
  const VersionEntry* entry = FindVersion(table, row.Version);
  std::vector<std::uint16_t> ids;
  for (const PacketMember& member : kPacketMembers) {
    if (entry != nullptr && (entry->*member.Entry).Id != 0)
      ids.push_back((entry->*member.Entry).Id);
  }
  for (const std::uint16_t id : ids) {
    const PacketCase* known = FindPacketCase(id, entry);
    if (known != nullptr && known->Length == LengthRule::kLengthField) {
      probes.push_back(Concat({Le16(id), Le16(9), FromText("hello")}));
      continue;
    }
    const std::int32_t length = known == nullptr ? 6 : CaseLength(*known, entry, PacketBuffer{});
    if (length > 64) continue;  // a length no probe waits for
    probes.push_back(packet(id, length <= 0 ? 6 : static_cast<std::size_t>(length)));
  }
  for (const Bytes& road : {Walk(), ChatWithTotalLength("hello"), Bytes{0xB2, 0x00, 1}}) {
    probes.push_back(road);
  }
  return probes;
}

// The dissector's own reading of packet_db.txt against the server's: each of
// the database texts both readers are held to, read by LoadPacketDatabase and,
// through the preference, by quib.lua, over a capture of map clients of the
// versions it holds. Each packet reads with the same version, the same name and
// the same fields either way.
TEST_F(DissectorTest, ThePacketDatabaseReadsAsTheServerReadsIt) {
  const std::string database = path + ".db.txt";
  for (const DatabaseText& text : DatabaseTexts()) {
    std::ofstream(database, std::ios::binary) << text.Text;
    PacketTable table;
    LoadPacketDatabase(database, table);  // refused: no version has an entry

    PacketCapture capture;
    std::string error;
    ASSERT_TRUE(capture.Open(path, error)) << error;
    Timestamp time = 1'700'000'000'000'000;
    std::vector<std::vector<Bytes>> conversations;
    for (const DetectionRow& row : DetectionTable()) {
      if (FindVersion(table, row.Version) == nullptr && !conversations.empty()) continue;
      conversations.push_back(Probes(row, table));
      const auto id = static_cast<PacketCapture::ConversationId>(conversations.size());
      capture.BeginConversation(id, 0x7F000001, static_cast<std::uint16_t>(40000 + id), 0x7F000001,
                                6900, time);
      for (const Bytes& segment : conversations.back()) {
        capture.ClientData(id, segment.data(), segment.size(), "", time += 1000);
      }
      capture.EndConversation(id, PacketCapture::EndKind::kClientClosed, time += 1000);
    }
    ASSERT_TRUE(capture.Close());

    const std::vector<ShownFrame> frames = ShownFrames(path, 6900, "-o quib.packet_db:" + database);
    std::size_t next = 0;
    for (const std::vector<Bytes>& segments : conversations) {
      ClientStream client(table);
      for (const Bytes& segment : segments) {
        ASSERT_LT(next, frames.size()) << text.Name;
        ExpectFrame(frames[next++], client.Segment(segment), table, text.Name);
      }
    }
    EXPECT_EQ(next, frames.size()) << text.Name;
  }
  std::remove(database.c_str());
}

}  // namespace
}  // namespace quib::test
