// The server as installed: `cmake --install` of this build into a folder of
// its own, run from there. It finds its packet database in share/quib-server
// and its window module in the library folder, each relative to its own
// folder; without the module it runs in the console and says why. The
// dissector, installed with its tables, is a plugin of the folder it is in and
// reads the database of its install.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/packet_capture.h"
#include "tests/server_process.h"
#include "tests/test_support.h"
#include "tests/tshark.h"

namespace quib::test {
namespace {

namespace fs = std::filesystem;

// The libraries the server has loaded, from /proc.
std::string LoadedFiles(pid_t pid) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::ostringstream text;
  text << maps.rdbuf();
  return text.str();
}

class InstallTreeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = fs::path(::testing::TempDir()) / ("quib_install_" + std::to_string(::getpid()));
    fs::remove_all(prefix_);
    const std::string command = std::string(QUIB_CMAKE_COMMAND) +
                                " --install " QUIB_BUILD_DIR " --prefix " + prefix_.string() +
                                " >/dev/null";
    installed_ = std::system(command.c_str()) == 0;
  }
  static void TearDownTestSuite() { fs::remove_all(prefix_); }

  void SetUp() override { ASSERT_TRUE(installed_) << "cmake --install failed"; }

  // The installed file under `part` ("lib", "share") named `name`.
  static fs::path Find(const std::string& part, const std::string& name) {
    for (const auto& entry : fs::recursive_directory_iterator(prefix_ / part)) {
      if (entry.path().filename() == name) return entry.path();
    }
    return {};
  }

  // Starts the installed server on a free port, a display or not.
  void Start(ServerProcess& server, const std::vector<std::string>& args = {}) {
    server.Binary = (prefix_ / "bin" / "quib-server").string();
    std::vector<std::string> all{"--port", "0"};
    all.insert(all.end(), args.begin(), args.end());
    ASSERT_TRUE(server.Start(all, {{"QT_QPA_PLATFORM", "offscreen"}}));
  }

  static inline fs::path prefix_;
  static inline bool installed_ = false;
};

TEST_F(InstallTreeTest, WithoutTheWindowModuleTheConsoleRunsAndSaysWhy) {
  const fs::path database = Find("share", "packet_db.txt");
  ASSERT_EQ(database, prefix_ / "share" / "quib-server" / "packet_db.txt");
  const std::string databaseLine = "Packet database " + database.string() + ": versions 5 to 22";
  if (QUIB_WINDOW_BUILT) {
    // The module as installed: the window runs, and its Qt with it.
    const fs::path module = Find("lib", "quib-server-window.so");
    ASSERT_FALSE(module.empty()) << "no module in " << prefix_ / "lib";
    ServerProcess server;
    Start(server);
    ASSERT_GT(server.WaitForListening(), 0) << server.ErrorText();
    EXPECT_NE(LoadedFiles(server.Pid()).find(module.string()), std::string::npos);
    EXPECT_TRUE(server.WaitForError(databaseLine)) << server.ErrorText();
    EXPECT_EQ(server.Stop(), 0);
    fs::rename(module, prefix_ / "quib-server-window.so.moved");
  }

  // No module: the console, with the loader's words for each place looked in.
  ServerProcess server;
  Start(server);
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  const std::string& error = server.ErrorText();
  if (QUIB_WINDOW_BUILT) {
    const std::string missing = "quib-server-window.so: cannot open shared object file";
    EXPECT_EQ(error.rfind("The window module cannot be loaded (" + (prefix_ / "bin").string(), 0),
              0u)
        << error;
    EXPECT_NE(error.find(missing), error.rfind(missing)) << "both places are named: " << error;
    EXPECT_NE(error.find("): running in the console.\n"), std::string::npos) << error;
  } else {
    EXPECT_NE(error.find("Built without the window: running in the console."), std::string::npos);
  }
  EXPECT_TRUE(server.WaitForError(databaseLine)) << error;
  EXPECT_EQ(LoadedFiles(server.Pid()).find("libQt6"), std::string::npos) << "Qt was loaded";
  // It serves and takes commands.
  const int client = ConnectClient(port);
  ASSERT_GE(client, 0);
  SendAll(client, Concat({Le16(0x0064), Zeros(53)}));
  EXPECT_EQ(ReadExactly(client, 79, 5000).size(), 79u);
  ::close(client);
  ASSERT_TRUE(server.WriteLine("show"));
  EXPECT_TRUE(server.WaitForError("map: ")) << server.ErrorText();
  EXPECT_EQ(server.Stop(), 0);
}

// Beside the program first, then share/quib-server; with neither, the error
// names both.
TEST_F(InstallTreeTest, PacketDatabaseBesideTheProgramComesFirst) {
  const fs::path bin = prefix_ / "bin";
  const fs::path shared = prefix_ / "share" / "quib-server" / "packet_db.txt";
  fs::copy_file(shared, bin / "packet_db.txt", fs::copy_options::overwrite_existing);
  {
    ServerProcess server;
    Start(server, {"--headless"});
    ASSERT_GT(server.WaitForListening(), 0) << server.ErrorText();
    EXPECT_TRUE(server.WaitForError("Packet database " + (bin / "packet_db.txt").string() + ":"))
        << server.ErrorText();
    EXPECT_EQ(server.Stop(), 0);
  }
  fs::remove(bin / "packet_db.txt");
  fs::rename(shared, prefix_ / "packet_db.txt.moved");
  ServerProcess server;
  Start(server, {"--headless"});
  EXPECT_EQ(server.Wait(3000), 1);
  const std::string expected = "Unable to load Packet_db.txt\npacket_db.txt: not found: " +
                               (bin / "packet_db.txt").string() + ", " + shared.string() + "\n";
  server.WaitForError(expected, 500);
  EXPECT_EQ(server.ErrorText(), expected);
  fs::rename(prefix_ / "packet_db.txt.moved", shared);
}

// The install's plugin folder as a user's own (--prefix ~/.local): Wireshark
// loads quib.lua from it, and nothing from its tables, and the dissector reads
// the packet_db.txt of its install: a walk is a walk only with version 5's
// entries.
TEST_F(InstallTreeTest, TheDissectorIsAPluginOfItsFolderAndReadsItsInstallsDatabase) {
  if (Shell("command -v tshark").out.empty()) GTEST_SKIP() << "tshark is not installed";
  const fs::path plugin = Find("lib", "quib.lua");
  ASSERT_FALSE(plugin.empty()) << "no quib.lua in " << prefix_ / "lib";
  EXPECT_TRUE(fs::exists(plugin.parent_path() / "quib_tables.lua.inc"));
  const fs::path home = prefix_.string() + ".home";
  fs::create_directories(home);
  fs::create_directory_symlink(prefix_, home / ".local");
  const std::string tshark = "HOME=" + home.string() + " tshark";

  std::istringstream plugins(Shell(tshark + " -G plugins").out);
  std::string scripts;
  for (std::string line; std::getline(plugins, line);) {
    if (line.find("lua script") != std::string::npos)
      scripts += line.substr(0, line.find('\t')) + "\n";
  }
  EXPECT_EQ(scripts, "quib.lua\n");

  const std::string file = prefix_.string() + ".pcapng";
  PacketCapture capture;
  std::string error;
  ASSERT_TRUE(capture.Open(file, error)) << error;
  capture.BeginConversation(1, 0x7F000001, 40000, 0x7F000001, 6900, 1'000'000);
  for (const Bytes& packet : {MapLogin(), Walk()}) {
    capture.ClientData(1, packet.data(), packet.size(), "", 2'000'000);
  }
  ASSERT_TRUE(capture.Close());
  const ToolRun run = Shell(tshark + " -r " + file + " -Y quib -T fields -e _ws.col.Info");
  EXPECT_EQ(run.out, "0x0072 Map login: packet version 5\n0x0085 Walk to (100, 120)\n") << run.err;
  fs::remove(file);
  fs::remove_all(home);
}

}  // namespace
}  // namespace quib::test
