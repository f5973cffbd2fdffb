// The server as a program: options, start-up failures, the console and stop
// signals, through a real child process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <tuple>

#include "tests/server_process.h"
#include "tests/test_support.h"

namespace quib::test {
namespace {

// No display: without --headless the server must fall back to the console.
const ServerProcess::EnvironmentChanges kNoDisplay = {{"DISPLAY", std::nullopt},
                                                      {"WAYLAND_DISPLAY", std::nullopt},
                                                      {"QT_QPA_PLATFORM", std::nullopt}};

TEST(ProcessTest, HeadlessServerListensAndTakesCommands) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--headless", "--port", "0"}));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  const int client = ConnectClient(port);
  EXPECT_GE(client, 0) << "nothing listens on the announced port";

  ASSERT_TRUE(server.WriteLine("map x"));
  ASSERT_TRUE(server.WriteLine("show"));
  EXPECT_TRUE(server.WaitForError("map: x\n")) << server.ErrorText();
  ASSERT_TRUE(server.WriteLine("posx 1a"));
  EXPECT_TRUE(server.WaitForError("posx takes digits only")) << server.ErrorText();

  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.PendingOutput(), "") << "standard output carries log lines only";
  if (client >= 0) ::close(client);
}

TEST(ProcessTest, LogLinesGoToStandardOutput) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--headless", "--port", "0"}));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  const int client = ConnectClient(port);
  ASSERT_GE(client, 0);
  // A login packet with nothing after its id: the server logs and answers.
  SendAll(client, Concat({Le16(0x0204), Zeros(16)}));
  const auto line = server.ReadLine(3000);
  ASSERT_TRUE(line.has_value()) << server.ErrorText();
  EXPECT_EQ(line->rfind("LoginReQ - 7F000001 - (", 0), 0u) << *line;
  EXPECT_EQ(server.Stop(), 0);
  ::close(client);
}

TEST(ProcessTest, WithoutADisplayTheServerRunsInTheConsole) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--port", "0"}, kNoDisplay));
  EXPECT_GT(server.WaitForListening(), 0) << server.ErrorText();
  EXPECT_NE(server.ErrorText().find("running in the console"), std::string::npos)
      << server.ErrorText();
  EXPECT_EQ(server.Stop(), 0);
}

TEST(ProcessTest, StopSignalsAndQuitEndWithExitZero) {
  for (int signal : ServerProcess::StopSignals()) {
    ServerProcess server;
    ASSERT_TRUE(server.Start({"--headless", "--port", "0"}));
    const std::int32_t port = server.WaitForListening();
    ASSERT_GT(port, 0) << server.ErrorText();
    ASSERT_TRUE(server.Signal(signal));
    EXPECT_EQ(server.Wait(), 0) << "signal " << signal;
  }
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--headless", "--port", "0"}));
  ASSERT_GT(server.WaitForListening(), 0);
  ASSERT_TRUE(server.WriteLine("quit"));
  EXPECT_EQ(server.Wait(), 0);
}

TEST(ProcessTest, EndOfInputKeepsTheServerRunning) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--headless", "--port", "0"}));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0);
  server.CloseInput();
  EXPECT_FALSE(server.Wait(600).has_value()) << "the server ended with its input";
  const int client = ConnectClient(port);
  EXPECT_GE(client, 0);
  EXPECT_EQ(server.Stop(), 0);
  if (client >= 0) ::close(client);
}

// --- Failures ---------------------------------------------------------------

TEST(ProcessTest, SecondInstanceOnTheSamePortExitsOne) {
  ServerProcess first;
  ASSERT_TRUE(first.Start({"--headless", "--port", "0"}));
  const std::int32_t port = first.WaitForListening();
  ASSERT_GT(port, 0);

  ServerProcess second;
  ASSERT_TRUE(second.Start({"--headless", "--port", std::to_string(port)}));
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_TRUE(second.WaitForError("Unable to listen on 127.0.0.1:" + std::to_string(port) + "\n"))
      << second.ErrorText();
  EXPECT_EQ(first.Stop(), 0) << "the first instance was disturbed";
}

// Each is refused at once, the reason on the line after the message.
TEST(ProcessTest, UnusableDatabaseExitsOneAndSaysWhy) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::path(::testing::TempDir()) / ("quib_bad_db_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // no writer ever comes
  for (const auto& [name, size] :
       {std::pair{"empty", 0}, {"zeros", 4096}, {"large", (16 << 20) + 1}}) {
    std::ofstream(dir / name).close();
    fs::resize_file(dir / name, static_cast<std::uintmax_t>(size));  // zero bytes, sparse
  }
  // Where Linux has a device or a FIFO, the Windows program (under Wine) sees
  // no file at all.
  const std::string special =
      ServerProcess::IsWindowsProgram() ? "missing or unreadable" : "not a regular file";
  const std::pair<std::string, std::string> cases[] = {
      {"/dev/zero", special},
      {(dir / "fifo").string(), special},
      {dir.string(), "not a regular file"},
      {(dir / "large").string(), "too large (over 16 MiB)"},
      {(dir / "zeros").string(), "no packet_ver section"},
      {(dir / "absent").string(), "missing or unreadable"},
      {(dir / "empty").string(), "empty"},
  };
  for (const auto& [path, reason] : cases) {
    ServerProcess server;
    ASSERT_TRUE(server.Start({"--headless", "--port", "0", "--packet-db", path}));
    EXPECT_EQ(server.Wait(3000), 1) << path;
    const std::string expected =
        "Unable to load the packet database " + path + "\n" + reason + ": " + path + "\n";
    server.WaitForError(expected, 500);
    EXPECT_EQ(server.ErrorText(), expected);
  }
  fs::remove_all(dir);
}

// --check-db answers without a server: the shipped database, found as
// start-up finds it, serves every version it lists; one with a typo in
// version 6's map login does not, and says where; a missing one is refused
// as start-up refuses it.
TEST(ProcessTest, CheckDbSaysWhetherEveryVersionListedReachesTheMap) {
  std::ifstream shipped(QUIB_SOURCE_DIR "/data/packet_db.txt");
  std::string text{std::istreambuf_iterator<char>(shipped), {}};
  text.replace(text.find("22,wanttoconnection"), 19, "22,wanttoconection");
  const std::string typo = ::testing::TempDir() + "quib_check_db_" + std::to_string(::getpid());
  std::ofstream(typo, std::ios::binary) << text;
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"--check-db"}, 0, "with 9 packets each\nClients of every version listed (5 to 22) can"},
      {{"--check-db", typo, "--port", "0"},
       1,
       typo + ", line 39: \"wanttoconection\" is none of the nine packet names (did you mean "
              "wanttoconnection?); the line stores nothing\nPacket database "},
      {{"--check-db", typo},
       1,
       "version 6 by 0x0072 of 22 bytes: its clients cannot reach the "
       "map\nClients of version 6 cannot reach the map\n"},
      {{"--check-db=" + typo + "x"}, 1, "Unable to load the packet database " + typo + "x\n"},
  };
  for (const auto& [args, status, said] : cases) {
    ServerProcess server;
    ASSERT_TRUE(server.Start(args, kNoDisplay));
    EXPECT_EQ(server.Wait(), status) << args[0];
    std::string all;
    while (const auto line = server.ReadLine(500)) all += *line + "\n";
    all += server.ErrorText();
    std::erase(all, '\r');  // the Windows program's text streams
    EXPECT_NE(all.find(said), std::string::npos) << all;
  }
  std::remove(typo.c_str());
}

TEST(ProcessTest, BadOptionsExitTwoWithTheUsage) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--bogus"}, "unknown option \"--bogus\""},
      {{"--port", "70000"}, "--port takes a number from 0 to 65535, not \"70000\""},
      {{"--port"}, "--port needs a value"},
      {{"--address", "0.0.0.0"},
       "--address takes a local IPv4 address such as 127.0.0.1 (not 0.0.0.0), not \"0.0.0.0\""},
      {{"--address=127.1"}, "not \"127.1\""},
      {{"--tick", "5"}, "--tick takes a number of milliseconds from 10 to 1000, not \"5\""},
      {{"--accept-delay", "-1"}, "--accept-delay takes a number of milliseconds from 0 to 10000"},
      {{"--capture"}, "--capture needs a value"},
  };
  for (const auto& [args, message] : cases) {
    ServerProcess server;
    ASSERT_TRUE(server.Start(args, kNoDisplay));
    EXPECT_EQ(server.Wait(), 2) << args[0];
    EXPECT_TRUE(server.WaitForError("Usage:")) << server.ErrorText();
    EXPECT_NE(server.ErrorText().find(message), std::string::npos) << server.ErrorText();
    EXPECT_EQ(server.PendingOutput(), "");
  }
}

// --- At the edges --------------------------------------------------------------

// A terminal for the server (Linux): the test keeps the other end and a
// description of its own, as a shell does.
struct Terminal {
  Terminal() {
    Master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (Master >= 0 && ::grantpt(Master) == 0 && ::unlockpt(Master) == 0) {
      Slave = ::open(::ptsname(Master), O_RDWR | O_NOCTTY);
    }
  }
  ~Terminal() {
    for (int fd : {Master, Slave}) {
      if (fd >= 0) ::close(fd);
    }
  }
  bool NonBlocking() const { return (::fcntl(Slave, F_GETFL) & O_NONBLOCK) != 0; }
  int Master = -1;
  int Slave = -1;
};

// A stop during a long accept delay ends the server within about a tick (the
// wait is sliced), a listen the system refuses says the system's own reason,
// and the terminal it is given keeps its file status flags however it ends.
TEST(ProcessTest, AtTheEdgesTheProcessActsAndSaysWhatTheSystemDoes) {
  const bool onLinux = !ServerProcess::IsWindowsProgram();
  std::ifstream portStart("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  int firstFreePort = 1024;
  portStart >> firstFreePort;
  Terminal terminal;
  int client = -1;
  const auto stopInTheWait = [&client](ServerProcess& server, std::int32_t port) {
    client = ConnectClient(port);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    server.Signal(ServerProcess::StopSignals().front());
  };
  const auto logThenKill = [&](ServerProcess& server, std::int32_t port) {
    client = ConnectClient(port);
    SendAll(client, Concat({Le16(0x0204), Zeros(16)}));
    std::string shown;
    char chunk[256];
    for (int i = 0; i < 30 && shown.find("LoginReQ") == std::string::npos; ++i) {
      const auto n = WaitReadable(terminal.Master, 100) ? ::read(terminal.Master, chunk, 256) : 0;
      if (n > 0) shown.append(chunk, static_cast<std::size_t>(n));
    }
    EXPECT_NE(shown.find("LoginReQ"), std::string::npos) << "no log line on the terminal";
    EXPECT_FALSE(terminal.NonBlocking()) << "set while the server runs";
    server.Signal(SIGKILL);
  };
  const struct {
    std::string What;
    bool Runs;  // on this platform
    std::vector<std::string> Args;
    std::function<void(ServerProcess&, std::int32_t port)> Act;  // once it listens
    int Status;
    std::string Said;
  } cases[] = {
      {"a stop in a 5 s accept delay", true, {"--accept-delay", "5000"}, stopInTheWait, 0, ""},
      {"port 80",
       onLinux && firstFreePort > 80,
       {"--port", "80"},
       {},
       1,
       "Unable to listen on 127.0.0.1:80\nThe system refused to listen on port 80 (bind: "
       "Permission denied).\n"},
      {"kill -9", onLinux, {}, logThenKill, 128 + SIGKILL, ""},
  };
  for (const auto& c : cases) {
    if (!c.Runs) continue;
    ServerProcess server;
    // Port 80 is refused to a user without the privilege: root drops it.
    if (onLinux && ::geteuid() == 0) {
      server.Wrapper = {"setpriv", "--inh-caps=-net_bind_service",
                        "--bounding-set=-net_bind_service"};
    }
    if (onLinux) server.Terminal = terminal.Slave;
    std::vector<std::string> args{"--headless", "--port", "0"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    ASSERT_TRUE(server.Start(args)) << c.What;
    if (c.Act) {
      const std::int32_t port = server.WaitForListening();
      ASSERT_GT(port, 0) << c.What << ": " << server.ErrorText();
      c.Act(server, port);
    }
    const auto acted = std::chrono::steady_clock::now();
    EXPECT_EQ(server.Wait(), c.Status) << c.What << ": " << server.ErrorText();
    EXPECT_LT(std::chrono::steady_clock::now() - acted, std::chrono::milliseconds(2500)) << c.What;
    server.WaitForError(c.Said, 500);
    EXPECT_NE(server.ErrorText().find(c.Said), std::string::npos) << server.ErrorText();
    EXPECT_FALSE(onLinux && terminal.NonBlocking()) << c.What << ": the terminal left non-blocking";
    if (client >= 0) ::close(client);
    client = -1;
  }
}

// --- The window, under Qt's offscreen platform -------------------------------

// Empty while the Qt window runs. Where the server runs in the console
// instead, it is stopped and this says why to skip: the window is not Qt's, or
// was not built; in a build with the Qt window that is a failure as well.
std::string ConsoleInstead(ServerProcess& server) {
  if (server.ErrorText().find("running in the console") == std::string::npos) return {};
  server.Stop();
  if (ServerProcess::IsWindowsProgram()) return "the Qt window is not the Windows program's";
  if (QUIB_WINDOW_BUILT) ADD_FAILURE() << "the window did not run: " << server.ErrorText();
  return "built without the window";
}

TEST(ProcessTest, WindowModeServesAndStopsOnSigterm) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--port", "0"}, {{"QT_QPA_PLATFORM", "offscreen"}}));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  if (const std::string why = ConsoleInstead(server); !why.empty()) GTEST_SKIP() << why;
  // The window's notification accepts, its timer polls: a login is answered.
  const int client = ConnectClient(port);
  ASSERT_GE(client, 0);
  SendAll(client, Concat({Le16(0x0064), Zeros(53)}));
  const Bytes reply = ReadExactly(client, 79, 5000);
  ASSERT_EQ(reply.size(), 79u);
  EXPECT_EQ(reply[0] | reply[1] << 8, 0x0069);
  EXPECT_EQ(server.Stop(), 0);
  ::close(client);
}

// The message box waits for its OK; a stop signal still ends the program.
TEST(ProcessTest, WindowModeShowsTheDatabaseErrorAndEndsOnSigterm) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--packet-db", "/nonexistent", "--port", "0"},
                           {{"QT_QPA_PLATFORM", "offscreen"}}));
  ASSERT_TRUE(server.WaitForError("Unable to load the packet database /nonexistent\n", 5000))
      << server.ErrorText();
  if (const std::string why = ConsoleInstead(server); !why.empty()) GTEST_SKIP() << why;
  EXPECT_FALSE(server.Wait(300).has_value()) << "the program ended before the box was closed";
  EXPECT_EQ(server.Stop(), 1);
}

}  // namespace
}  // namespace quib::test
