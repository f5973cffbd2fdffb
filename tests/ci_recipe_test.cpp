// A client's CI against the built server (and quib-server.exe under Wine):
// the recipe's options, the example client, and the verdict in the exit
// status, the summary on standard error and the journal's last line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/server_process.h"
#include "tests/test_support.h"
#include "tests/tshark.h"

namespace quib::test {
namespace {

const std::string kClient = "python3 " QUIB_SOURCE_DIR "/examples/road_client.py";

// The port of the ready file at `path` once it is there; -1 after 10 s.
int ReadyPort(const std::string& path) {
  for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ifstream file(path);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  std::smatch port;
  if (!std::regex_search(text, port, std::regex("\"port\":([0-9]+)"))) return -1;
  return std::stoi(port[1]);
}

TEST(CiRecipeTest, TheExitStatusIsTheVerdict) {
  const std::string base = ::testing::TempDir() + "quib_ci_" + std::to_string(::getpid());
  const std::string ready = base + ".ready", journal = base + ".jsonl";
  const struct {
    const char* Name;
    std::vector<std::string> Extra;
    const char* Client;  // road_client.py's options; nullptr: no client
    bool EndsByItself;
    int Status;
    const char* Said;  // a regular expression over standard error
  } cases[] = {
      {"met", {}, "", false, 0, "Expected loaded: met \\(1 of 1\\)\nExit status 0: "},
      {"stops after the character list",
       {},
       "--stop-after characters",
       false,
       3,
       "Expected loaded: not met \\(0 of 1\\)\nFurthest each client reached: #1 [0-9.:]+ login, "
       "#2 [0-9.:]+ characters\nExit status 3: "},
      {"an unknown packet under --strict",
       {},
       "--unknown",
       true,
       4,
       "Violation: #3 [0-9.:]+ Unknown Packet \\(0x1234\\) - 7F000001\nExit status 4: "},
      {"until met", {"--until-met"}, "--stop-after loaded", true, 0, "Exit status 0: "},
      {"no client within the time",
       {"--within", "1"},
       nullptr,
       true,
       3,
       "Furthest each client reached: no client connected\nExit status 3: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ServerProcess server;
    std::vector<std::string> args = {
        "--headless", "--port",   "0",      "--fast",   "--ready-file", ready,     "--journal",
        journal,      "--expect", "loaded", "--within", "30",           "--strict"};
    args.insert(args.end(), c.Extra.begin(), c.Extra.end());
    ASSERT_TRUE(server.Start(args));
    const int port = ReadyPort(ready);
    ASSERT_GT(port, 0) << server.ErrorText();
    if (c.Client != nullptr) {
      const ToolRun client = Shell(kClient + " --port " + std::to_string(port) + " " + c.Client);
      EXPECT_EQ(client.status, c.Status == 4 ? 1 : 0) << client.err;
    }
    const std::optional<int> status = c.EndsByItself ? server.Wait(5000) : server.Stop();
    EXPECT_EQ(status, c.Status) << server.ErrorText();
    EXPECT_TRUE(std::regex_search(server.ErrorText(), std::regex(c.Said))) << server.ErrorText();
    EXPECT_FALSE(std::filesystem::exists(ready)) << "the ready file outlived the server";
    // The journal's last line carries the verdict, valid by the schema.
    const ToolRun read = Shell("python3 " QUIB_SOURCE_DIR "/tests/journal_tool.py " QUIB_SOURCE_DIR
                               "/docs/journal.schema.json " +
                               journal);
    EXPECT_EQ(read.status, 0) << read.err << read.out;
    EXPECT_EQ(read.out.find("invalid"), std::string::npos) << read.out;
  }
  std::remove(journal.c_str());
}

// The recipe as a client's CI runs it: it passes on the server's status.
TEST(CiRecipeTest, TheRecipePassesOnTheServersVerdict) {
  if (ServerProcess::IsWindowsProgram()) GTEST_SKIP() << "the recipe stops a Linux server";
  const char* binary = std::getenv("QUIB_SERVER_BINARY");
  const std::string server = binary != nullptr && binary[0] != '\0' ? binary : QUIB_SERVER_BINARY;
  for (const auto& [client, status] :
       {std::pair{std::string(""), 0}, std::pair{std::string("--stop-after characters"), 3}}) {
    const ToolRun run =
        Shell("QUIB_SERVER=" + server + " " QUIB_SOURCE_DIR "/examples/ci/client-test.sh sh -c '" +
              kClient + " --ready-file \"$QUIB_READY\" " + client + "'");
    EXPECT_EQ(run.status, status) << run.err;
  }
}

}  // namespace
}  // namespace quib::test
