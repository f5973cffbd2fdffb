// The console's standard streams against the built server: the last log
// lines reach standard output when it stops, and standard error that nobody
// reads holds up nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>

#include "tests/server_process.h"
#include "tests/test_support.h"

namespace quib::test {
namespace {

using Clock = std::chrono::steady_clock;

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The messages that the notices on standard error say were dropped.
std::size_t DroppedMessages(const std::string& said) {
  static const std::regex kNotice("([0-9]+) messages were dropped");
  std::size_t dropped = 0;
  for (std::sregex_iterator it(said.begin(), said.end(), kNotice), end; it != end; ++it) {
    dropped += std::stoul((*it)[1].str());
  }
  return dropped;
}

// "quit" right after a burst: the lines wait in a small pipe and behind it
// while the reader pauses, and all of them come once it reads again.
TEST(ConsoleStreamsTest, QuitAfterABurstOfLogLinesLosesNone) {
  ServerProcess server;
  server.OutputPipeSize = 4096;
  ASSERT_TRUE(server.Start({"--headless", "--port", "0", "--tick", "10", "--accept-delay", "0"}));
  const std::int32_t port = server.WaitForListening();
  ASSERT_GT(port, 0) << server.ErrorText();
  const int client = ConnectClient(port);
  ASSERT_GE(client, 0);
  server.PauseOutput(true);

  // One line per tick for each pre-login packet; the login request's answer
  // comes once the last line is in the log.
  constexpr int kPreLogins = 150;
  Bytes burst;
  for (int i = 0; i < kPreLogins; ++i) {
    for (auto byte : Concat({Le16(0x0204), Zeros(16)})) burst.push_back(byte);
  }
  for (auto byte : LoginRequest()) burst.push_back(byte);
  SendAll(client, burst);
  ASSERT_EQ(ReadExactly(client, 79, 20000).size(), 79u) << "the burst was not handled";
  ASSERT_TRUE(server.WriteLine("quit"));
  server.PauseOutput(false);
  EXPECT_EQ(server.Wait(), 0);

  // What the pipe still holds, up to its end.
  std::string output;
  while (const auto line = server.ReadLine(1000)) output += *line + "\n";
  EXPECT_EQ(CountOf(output, "LoginReQ - 7F000001 - ("), static_cast<std::size_t>(kPreLogins));
  EXPECT_TRUE(output.ends_with(")\nCharSvrReq - 7F000001\n"))
      << output.substr(output.size() > 200 ? output.size() - 200 : 0);
  ::close(client);
}

// About 460 KB of messages against a pipe nobody reads: clients are still
// served, the messages past the bound are dropped and counted, the count is
// said once the reader reads again, and a stop request ends the server
// within about a tick, the pipe still full.
TEST(ConsoleStreamsTest, UnreadStandardErrorHoldsUpNothing) {
  constexpr std::size_t kShows = 2000;
  std::string shows;
  for (std::size_t i = 0; i < kShows; ++i) shows += "show\n";
  shows.pop_back();  // WriteLine ends it
  const auto served = [](std::int32_t port) {
    const int client = ConnectClient(port);
    if (client < 0) return false;
    SendAll(client, LoginRequest());
    const bool answered = ReadExactly(client, 79, 5000).size() == 79;
    ::close(client);
    return answered;
  };
  bool countChecked = false;
  for (int signal : ServerProcess::StopSignals()) {
    ServerProcess server;
    ASSERT_TRUE(server.Start({"--headless", "--port", "0"}));
    const std::int32_t port = server.WaitForListening();
    ASSERT_GT(port, 0) << server.ErrorText();
    server.PauseErrors(true);
    ASSERT_TRUE(server.WriteLine(shows));

    if (!countChecked) {
      countChecked = true;
      EXPECT_TRUE(served(port)) << "a client went unanswered";
      server.PauseErrors(false);
      const std::string notice = " messages were dropped while standard error was not being read\n";
      ASSERT_TRUE(server.WaitForError(notice, 5000)) << "no count of the dropped messages";
      // The first count may come while shows of the burst are still to run:
      // every one is said or counted before the next command, whose answer
      // would otherwise find the queue full again and be dropped too.
      const auto accounted = [&] {
        const std::string& said = server.ErrorText();
        return CountOf(said, "map: prontera.gat\n") + DroppedMessages(said);
      };
      for (int i = 0; i < 100 && accounted() < kShows; ++i) {
        server.WaitForError("\n", 100, server.ErrorText().size());
      }
      EXPECT_EQ(accounted(), kShows) << "messages lost without being counted, or cut";
      EXPECT_GT(DroppedMessages(server.ErrorText()), 0u);
      ASSERT_TRUE(server.WriteLine("map done"));
      ASSERT_TRUE(server.WriteLine("show"));
      ASSERT_TRUE(server.WaitForError("map: done\n", 5000));
      server.PauseErrors(true);
      ASSERT_TRUE(server.WriteLine(shows));
    }
    // The accept's wait alone gives the pipe time to fill.
    EXPECT_TRUE(served(port)) << "a client went unanswered";

    const auto asked = Clock::now();
    ASSERT_TRUE(server.Signal(signal));
    EXPECT_EQ(server.Wait(5000), 0) << "signal " << signal;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
    EXPECT_LT(took.count(), 1000) << "signal " << signal << " took " << took.count() << " ms";
  }
}

}  // namespace
}  // namespace quib::test
