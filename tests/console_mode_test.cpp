#include "startup/console_commands.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>

#include "app/main_window.h"
#include "console/console_mode.h"
#include "tests/test_support.h"

namespace quib {
namespace {

// The parser on a form that was never loaded: no sockets.
class ConsoleCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.SetDigitsOnly(form.Pos[0], true);
    form.SetDigitsOnly(form.Pos[1], true);
  }

  ConsoleReply Run(std::string_view line) { return RunConsoleCommand(form, line); }

  // A refused command says why and changes nothing.
  void ExpectRefused(std::string_view line) {
    const std::string before = DescribeSettings(form);
    const ConsoleReply reply = Run(line);
    EXPECT_FALSE(reply.Error.empty()) << "accepted: " << line;
    EXPECT_FALSE(reply.Quit);
    EXPECT_EQ(DescribeSettings(form), before) << "changed by: " << line;
  }

  Form1 form;
};

TEST_F(ConsoleCommandTest, MapSetsTheBoxCutToSixteenCharacters) {
  EXPECT_TRUE(Run("map  prt_fild08.gat \r").Error.empty());
  EXPECT_EQ(form.Text2.Text(), "prt_fild08.gat");
  Run("map abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(form.Text2.Text(), "abcdefghijklmnop");
  Run("map");
  EXPECT_EQ(form.Text2.Text(), "");
}

TEST_F(ConsoleCommandTest, PositionsTakeDigitsOnly) {
  EXPECT_TRUE(Run("pos 1000 1").Error.empty());
  EXPECT_EQ(form.Pos[0].Text(), "1000");
  EXPECT_EQ(form.Pos[1].Text(), "1");
  Run("posx 42");
  Run("posy 7");
  EXPECT_EQ(form.Pos[0].Text(), "42");
  EXPECT_EQ(form.Pos[1].Text(), "7");
  Run("posy");
  EXPECT_EQ(form.Pos[1].Text(), "") << "posy alone empties the box";

  ExpectRefused("posx 12a");
  ExpectRefused("posx -5");
  ExpectRefused("posx 1 2");
  ExpectRefused("pos 10 x");  // neither box changes
  ExpectRefused("pos 10");
  ExpectRefused("pos 1 2 3");
}

TEST_F(ConsoleCommandTest, GenderAndHideTakeTheirTwoWords) {
  Run("gender male");
  EXPECT_EQ(form.Option1.Selected(), 1);
  Run("gender female");
  EXPECT_EQ(form.Option1.Selected(), 0);
  Run("hide on");
  EXPECT_TRUE(form.Check1.Checked());
  Run("hide off");
  EXPECT_FALSE(form.Check1.Checked());

  ExpectRefused("gender");
  ExpectRefused("gender Male");
  ExpectRefused("hide yes");
}

TEST_F(ConsoleCommandTest, ClearEmptiesTheLog) {
  form.List1.AddItem("a line");
  EXPECT_TRUE(Run("clear").Error.empty());
  EXPECT_TRUE(form.List1.Items().empty());
}

TEST_F(ConsoleCommandTest, ShowDescribesTheSettings) {
  Run("map x");
  Run("gender male");
  const ConsoleReply reply = Run("show");
  EXPECT_TRUE(reply.Error.empty());
  EXPECT_NE(reply.Info.find("map: x\n"), std::string::npos) << reply.Info;
  EXPECT_NE(reply.Info.find("position: 150 170\n"), std::string::npos) << reply.Info;
  EXPECT_NE(reply.Info.find("gender: male\n"), std::string::npos) << reply.Info;
  EXPECT_NE(reply.Info.find("hide unknown packets: off\n"), std::string::npos) << reply.Info;
}

TEST_F(ConsoleCommandTest, UnknownOrMisusedCommandsChangeNothing) {
  ExpectRefused("teleport 1 2");
  ExpectRefused("MAP x");
  ExpectRefused("warp now");
  ExpectRefused("quit please");
  const ConsoleReply blank = Run("   \r");
  EXPECT_TRUE(blank.Error.empty());
  EXPECT_FALSE(blank.Quit);
  EXPECT_TRUE(Run("quit").Quit);
}

// Each row's name reaches its row, and help shows its synopsis.
TEST_F(ConsoleCommandTest, EveryCommandOfTheTableIsKnownAndHelpListsIt) {
  const std::string help = "\n" + Run("help").Info;
  for (const ConsoleCommand& command : ConsoleCommands()) {
    EXPECT_EQ(Run(command.Name).Error.find("unknown command"), std::string::npos) << command.Name;
    EXPECT_NE(help.find("\n" + std::string(command.Synopsis) + "  "), std::string::npos)
        << command.Name << " in:\n"
        << help;
  }
  ExpectRefused("help me");
}

// --- Commands that send, on a listening form ---------------------------------

// The console's loop keeps the rhythm of the designed tick.
class ConsoleServerTest : public test::ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    form.TickInterval = std::chrono::milliseconds(kDefaultTickMs);
  }
};

TEST_F(ConsoleServerTest, WarpAndReloadSendTheMapChange) {
  const int client = Connect();
  Record(client).State = kStateMap;
  ASSERT_TRUE(RunConsoleCommand(form, "pos 1000 1").Error.empty());
  ASSERT_TRUE(RunConsoleCommand(form, "warp").Error.empty());
  const test::Bytes warp = Received(client, 26);
  ASSERT_EQ(warp.size(), 26u);
  EXPECT_EQ(warp[0], 0x91);
  EXPECT_EQ(warp[18] | warp[19] << 8, 898);  // clamped, as the window does
  EXPECT_EQ(form.Pos[0].Text(), "898");

  ASSERT_TRUE(RunConsoleCommand(form, "reload").Error.empty());
  EXPECT_EQ(form.ForceReloadPending, -1);
  EXPECT_EQ(Received(client, 26).size(), 26u);
}

#ifndef _WIN32
// The loop itself: commands from a pipe, messages and log to files. (The
// Windows loop is tested through the program, from the Linux tests.)
TEST_F(ConsoleServerTest, LoopAcceptsRunsCommandsAndUnloadsOnQuit) {
  const int client = test::ConnectClient(form.ListeningPort());
  ASSERT_GE(client, 0);
  clients.push_back(client);

  int input[2];
  ASSERT_EQ(::pipe(input), 0);
  const std::string commands = "map x\nbogus\nshow\nquit\nmap never\n";
  ASSERT_EQ(::write(input[1], commands.data(), commands.size()),
            static_cast<ssize_t>(commands.size()));
  std::FILE* log = std::tmpfile();
  std::FILE* messages = std::tmpfile();
  int stop[2];
  ASSERT_EQ(::pipe(stop), 0);

  EXPECT_EQ(RunConsole(form, {input[0], log, messages, stop[0]}), 0);
  EXPECT_FALSE(WinsockStarted()) << "quit did not run the unload step";
  EXPECT_EQ(form.Text2.Text(), "x") << "a command after quit ran";

  std::rewind(messages);
  char text[4096] = {};
  const auto n = std::fread(text, 1, sizeof text - 1, messages);
  const std::string said(text, n);
  EXPECT_NE(said.find("unknown command \"bogus\""), std::string::npos) << said;
  EXPECT_NE(said.find("connections: 1\n"), std::string::npos)
      << "the waiting client was not accepted";
  EXPECT_EQ(std::ftell(log), 0) << "something besides log lines went to the log";

  std::fclose(log);
  std::fclose(messages);
  for (int fd : {input[0], input[1], stop[0], stop[1]}) ::close(fd);
}

TEST_F(ConsoleServerTest, LoopRefusesAnEndlessLineAndGoesOn) {
  int input[2];
  int stop[2];
  ASSERT_EQ(::pipe(input), 0);
  ASSERT_EQ(::pipe(stop), 0);
  const std::string commands = "map " + std::string(20000, 'a') + "\nmap y\nquit\n";
  ASSERT_EQ(::write(input[1], commands.data(), commands.size()),
            static_cast<ssize_t>(commands.size()));
  std::FILE* messages = std::tmpfile();
  EXPECT_EQ(RunConsole(form, {input[0], messages, messages, stop[0]}), 0);
  EXPECT_EQ(form.Text2.Text(), "y");
  std::rewind(messages);
  char text[256] = {};
  std::fread(text, 1, sizeof text - 1, messages);
  EXPECT_STREQ(text, "command line too long; ignored\nMap name: y\n");
  std::fclose(messages);
  for (int fd : {input[0], input[1], stop[0], stop[1]}) ::close(fd);
}

TEST_F(ConsoleServerTest, LoopEndsOnAStopSignalAfterTheInputEnded) {
  int input[2];
  int stop[2];
  ASSERT_EQ(::pipe(input), 0);
  ASSERT_EQ(::pipe(stop), 0);
  ::close(input[1]);  // no commands at all
  ASSERT_EQ(::write(stop[1], "s", 1), 1);
  std::FILE* sink = std::tmpfile();
  EXPECT_EQ(RunConsole(form, {input[0], sink, sink, stop[0]}), 0);
  EXPECT_FALSE(WinsockStarted());
  std::fclose(sink);
  for (int fd : {input[0], stop[0], stop[1]}) ::close(fd);
}

#endif

}  // namespace
}  // namespace quib
