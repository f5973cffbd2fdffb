// A capture written by the built server, read by the real analyser: the whole
// road, and the faults, as conversations that hold every byte each way; and
// the journal of the same road, held against the capture and its schema.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/server_process.h"
#include "tests/test_support.h"
#include "tests/tshark.h"

namespace quib::test {
namespace {

// A client whose every byte each way is kept, to hold against the capture.
struct RecordedClient {
  int fd = -1;
  Bytes sent;
  Bytes received;

  bool Connect(std::int32_t port) {
    fd = ConnectClient(port);
    return fd >= 0;
  }
  void Send(const Bytes& bytes) {
    SendAll(fd, bytes);
    sent.insert(sent.end(), bytes.begin(), bytes.end());
  }
  void Read(std::size_t count) {
    const Bytes got = ReadExactly(fd, count, 5000);
    EXPECT_EQ(got.size(), count);
    received.insert(received.end(), got.begin(), got.end());
  }
  void Close() { ::close(fd); }
};

// Lowercase hex, two digits a byte, as the journal writes bytes.
std::string HexText(const Bytes& bytes) {
  std::string text;
  for (const std::uint8_t byte : bytes) {
    text += "0123456789abcdef"[byte >> 4];
    text += "0123456789abcdef"[byte & 15];
  }
  return text;
}

class CaptureRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = ::testing::TempDir() + "quib_road_" + std::to_string(::getpid()) + ".pcapng";
    ASSERT_TRUE(server.Start(
        {"--headless", "--port", "0", "--accept-delay", "0", "--tick", "10", "--capture", path}));
    port = server.WaitForListening();
    ASSERT_GT(port, 0) << server.ErrorText();
  }
  void TearDown() override { std::remove(path.c_str()); }

  std::string path;
  ServerProcess server;
  std::int32_t port = -1;
};

TEST_F(CaptureRoadTest, TheRoadIsThreeWholeConversationsWithTheServersReading) {
  RecordedClient login, character, map;
  ASSERT_TRUE(login.Connect(port));
  login.Send(LoginRequest());
  login.Read(79);
  EXPECT_TRUE(PeerClosed(login.fd, 2000));
  login.Close();

  ASSERT_TRUE(character.Connect(port));
  character.Send(CharConnect());
  character.Read(4 + 978);
  character.Send(CharSelect(2));
  character.Read(28);
  EXPECT_TRUE(PeerClosed(character.fd, 2000));
  character.Close();

  ASSERT_TRUE(map.Connect(port));
  map.Send(MapLogin());
  map.Read(kMapGreetingSize);
  map.Send(Bytes{0x85, 0x00, 0x19, 0x07, 0x80});  // walk
  map.Read(12);
  map.Send(Concat({Le16(0x0436), Zeros(6)}));  // unknown: logged, its bytes kept
  ASSERT_EQ(server.ReadLine(2000), "CharSvrReq - 7F000001");
  ASSERT_TRUE(server.WaitForError("listening"));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(server.ReadLine(2000).has_value());
  ASSERT_EQ(server.ReadLine(2000), "Unknown Packet (0x436) - 7F000001");
  ASSERT_TRUE(server.WriteLine("bytes"));
  EXPECT_TRUE(server.WaitForError("0000  36 04 00 00 00 00 00 00"));
  map.Close();
  // The map connection's end is seen on a tick; then the capture is closed.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  const Tshark tshark(path, port);
  if (!tshark.Available()) GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh test)";
  EXPECT_EQ(tshark.Faults(), "");
  EXPECT_EQ(tshark.Conversations().size(), 3u);
  const RecordedClient* clients[] = {&login, &character, &map};
  for (int stream = 0; stream < 3; ++stream) {
    const auto follow = tshark.Follow(stream);
    EXPECT_EQ(follow.ToServer, clients[stream]->sent) << "stream " << stream;
    EXPECT_EQ(follow.ToClient, clients[stream]->received) << "stream " << stream;
  }
  EXPECT_EQ(tshark.Comments(),
            "0x0064 Login request\n"
            "0x0065 Character connect\n"
            "0x0066 Character select\n"
            "0x0072 Map login, packet version 5\n"
            "0x0085 Walk, packet version 5\n"
            "0x0436 Unknown packet: Unknown Packet (0x436) - 7F000001\n");
  EXPECT_EQ(tshark.ServerComments(),
            "0x0069 Server list\n"
            "Account echo\n"
            "0x006B Character list\n"
            "0x0071 Map server\n"
            "Account echo\n"
            "0x0073 Map login reply\n"
            "0x008D Chat line\n"
            "0x008D Chat line\n"
            "0x0087 Walk reply\n");
}

// Faulty clients: a reset in the middle of a packet, a half-close, a byte at
// a time, a burst over the buffer. The file still reads cleanly and holds
// every byte each client sent.
TEST_F(CaptureRoadTest, FaultyClientsLeaveACleanCaptureWithEveryByte) {
  std::vector<RecordedClient> clients(4);
  for (auto& client : clients) ASSERT_TRUE(client.Connect(port));

  const Bytes login = MapLogin();
  clients[0].Send(Bytes(login.begin(), login.begin() + 10));
  clients[1].Send(MapLogin());
  ::shutdown(clients[1].fd, SHUT_WR);
  for (std::uint8_t byte : login) {
    clients[2].Send(Bytes{byte});
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  const std::string line(996, 'a');
  clients[3].Send(MapLogin());
  clients[3].Send(Concat({Chat(line), Chat(line), Chat(line)}));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const linger abort{1, 0};
  ::setsockopt(clients[0].fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  for (auto& client : clients) client.Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  const Tshark tshark(path, port);
  if (!tshark.Available()) GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh test)";
  EXPECT_EQ(tshark.Faults(), "");
  ASSERT_EQ(tshark.Conversations().size(), clients.size());
  // Streams are numbered by their first frame, the order of the accepts.
  for (std::size_t stream = 0; stream < clients.size(); ++stream) {
    EXPECT_EQ(tshark.Follow(static_cast<int>(stream)).ToServer, clients[stream].sent)
        << "stream " << stream;
  }
}

// The running file named again, by any name, goes on with all it holds, and
// so it does past a file that takes no write; a switch writes it out first.
// The new file tells the version of the client already in the map, so that
// the dissector names its packets.
TEST_F(CaptureRoadTest, ACaptureNamedAgainGoesOnAndASwitchLosesNothing) {
  RecordedClient map;
  ASSERT_TRUE(map.Connect(port));
  map.Send(MapLogin());
  map.Read(kMapGreetingSize);
  const std::string hard = path + ".hard", soft = path + ".soft", next = path + ".next";
  ASSERT_EQ(::link(path.c_str(), hard.c_str()), 0);
  ASSERT_EQ(::symlink(path.c_str(), soft.c_str()), 0);
  const std::size_t name = path.rfind('/') + 1;
  const std::string spelled = path.substr(0, name) + "./" + path.substr(name);
  const std::string goesOn = "Capture to " + path + " goes on: ";
  const struct {
    std::string Target, Told;
  } cases[] = {
      {path, goesOn + path},
      {spelled, goesOn + spelled},
      {hard, goesOn + hard},
      {soft, goesOn + soft},
      {"/proc/version", "; the capture to " + path + " goes on\n"},
  };
  for (const auto& c : cases) {
    const std::size_t from = server.ErrorText().size();
    ASSERT_TRUE(server.WriteLine("capture " + c.Target));
    EXPECT_TRUE(server.WaitForError(c.Told, 3000, from)) << server.ErrorText().substr(from);
    map.Send(Walk());
    map.Read(12);
  }
  const Bytes first = map.sent;
  ASSERT_TRUE(server.WriteLine("capture " + next));
  ASSERT_TRUE(server.WaitForError("capture started: " + next, 3000));
  map.Send(Chat("hello"));
  map.Read(13);
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  const Tshark tshark(path, port);
  if (!tshark.Available()) GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh test)";
  EXPECT_EQ(tshark.Faults(), "");
  EXPECT_EQ(tshark.Follow(0).ToServer, first);
  EXPECT_EQ(Tshark(next, port).Comments(),
            "Connected before the capture started, packet version 5\n"
            "0x008C Chat, packet version 5\n");
  for (const std::string passes : {"", "-2"}) {
    EXPECT_EQ(Shell("tshark -X lua_script:" QUIB_DISSECTOR " -d tcp.port==" + std::to_string(port) +
                    ",quib -r " + next + " " + passes + " -Y 'quib && tcp.dstport == " +
                    std::to_string(port) + "' -T fields -e quib.name -e quib.version")
                  .out,
              "Chat\t5\n")
        << passes;
  }
  for (const std::string& file : {hard, soft, next}) std::remove(file.c_str());
}

// The road with the journal beside the capture. The journal holds to its
// schema by a real validator, names every packet of the road once, in order,
// and carries the capture's bytes: each client frame is one packet, and what
// the server sent each connection is the journal's packets out, in all.
TEST(JournalRoadTest, EveryPacketOnceInOrderWithTheCapturesBytes) {
  const std::string base = ::testing::TempDir() + "quib_journal_" + std::to_string(::getpid());
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--headless", "--port", "0", "--accept-delay", "0", "--tick", "10",
                            "--capture", base + ".pcapng", "--journal", base + ".jsonl"}));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  RecordedClient login, character, map;
  ASSERT_TRUE(login.Connect(port));
  login.Send(LoginRequest());
  login.Read(79);
  EXPECT_TRUE(PeerClosed(login.fd, 2000));
  ASSERT_TRUE(character.Connect(port));
  character.Send(CharConnect());
  character.Read(4 + 978);
  character.Send(CharSelect(2));
  character.Read(28);
  EXPECT_TRUE(PeerClosed(character.fd, 2000));
  ASSERT_TRUE(map.Connect(port));
  map.Send(MapLogin());
  map.Read(kMapGreetingSize);
  map.Send(Walk());
  map.Read(kWalkReplySize);
  map.Send(Bytes{0x85, 0x00, 0x19});  // a walk that stays short
  map.Read(kWalkReplySize);
  map.Send(Concat({Le16(0x0436), Zeros(6)}));
  for (auto line = server.ReadLine(); line != "Unknown Packet (0x436) - 7F000001";) {
    ASSERT_TRUE(line.has_value()) << "the unknown packet was not logged";
    line = server.ReadLine();
  }
  for (RecordedClient* client : {&login, &character, &map}) client->Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(server.Stop(), 0) << server.ErrorText();

  const ToolRun read = Shell("python3 " QUIB_SOURCE_DIR "/tests/journal_tool.py " QUIB_SOURCE_DIR
                             "/docs/journal.schema.json " +
                             base + ".jsonl");
  ASSERT_EQ(read.status, 0) << read.err;
  std::vector<std::string> ports, directions, names, hex;
  std::istringstream lines(read.out);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_FALSE(line.starts_with("invalid") || line == "no validator") << line;
    std::istringstream words(line);
    words >> ports.emplace_back() >> directions.emplace_back() >> names.emplace_back() >>
        hex.emplace_back();
  }
  ASSERT_FALSE(ports.empty());
  EXPECT_EQ(ports.back() + " " + directions.back(), "stopped stop-signal");
  std::string road;
  for (std::size_t i = 0; i + 1 < names.size(); ++i) road += directions[i] + " " + names[i] + "\n";
  EXPECT_EQ(road,
            "in Login_request\nout Server_list\nin Character_connect\nout Account_echo\n"
            "out Character_list\nin Character_select\nout Map_server\nin Map_login\n"
            "out Account_echo\nout Map_login_reply\nout Chat_line\nout Chat_line\nin Walk\n"
            "out Walk_reply\nin Walk,short\nout Walk_reply\nin unknown\n");

  const Tshark tshark(base + ".pcapng", port);
  if (!tshark.Available()) GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh test)";
  std::vector<std::string> clientPorts;  // in the order of the accepts, as tshark numbers streams
  std::string fromClients;
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    if (directions[i] != "in") continue;
    if (std::find(clientPorts.begin(), clientPorts.end(), ports[i]) == clientPorts.end()) {
      clientPorts.push_back(ports[i]);
    }
    fromClients += ports[i] + " " + hex[i] + "\n";
  }
  std::string frames;
  for (const Tshark::Frame& frame : tshark.ClientFrames()) {
    frames += std::to_string(frame.ClientPort) + " " + HexText(frame.Data) + "\n";
  }
  EXPECT_EQ(frames, fromClients);
  for (std::size_t stream = 0; stream < clientPorts.size(); ++stream) {
    std::string sent;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
      if (ports[i] == clientPorts[stream] && directions[i] == "out") sent += hex[i];
    }
    EXPECT_EQ(HexText(tshark.Follow(static_cast<int>(stream)).ToClient), sent) << stream;
  }
  std::remove((base + ".pcapng").c_str());
  std::remove((base + ".jsonl").c_str());
}

// A capture file that cannot be created stops the start.
TEST(CaptureFailureTest, ACaptureThatCannotBeCreatedStopsTheStart) {
  ServerProcess missing;
  ASSERT_TRUE(
      missing.Start({"--headless", "--port", "0", "--capture", "/no/such/folder/c.pcapng"}));
  EXPECT_EQ(missing.Wait(), 1);
  EXPECT_TRUE(missing.WaitForError("Unable to open the capture file /no/such/folder/c.pcapng"));
}

}  // namespace
}  // namespace quib::test
