#include "startup/program_options.h"

#include <gtest/gtest.h>

#include <map>

#include "app/main_window.h"
#include "startup/run_mode.h"
#include "startup/start_server.h"

namespace quib {
namespace {

OptionsOutcome Parse(std::vector<std::string> args, ProgramOptions& options) {
  std::string error;
  const OptionsOutcome outcome = ParseProgramOptions(args, options, error);
  EXPECT_EQ(outcome == OptionsOutcome::kError, !error.empty());
  return outcome;
}

TEST(ProgramOptionsTest, DefaultsAndEveryOption) {
  ProgramOptions defaults;
  ASSERT_EQ(Parse({}, defaults), OptionsOutcome::kRun);
  EXPECT_FALSE(defaults.Headless);
  EXPECT_EQ(defaults.Port, 6900);
  EXPECT_TRUE(defaults.PacketDbPath.empty());

  ProgramOptions options;
  ASSERT_EQ(Parse({"--headless", "--port", "0", "--packet-db=/tmp/db.txt"}, options),
            OptionsOutcome::kRun);
  EXPECT_TRUE(options.Headless);
  EXPECT_EQ(options.Port, 0);
  EXPECT_EQ(options.PacketDbPath, "/tmp/db.txt");
  ASSERT_EQ(Parse({"--port=65535"}, options), OptionsOutcome::kRun);
  EXPECT_EQ(options.Port, 65535);  // refused later, by the listen

  EXPECT_EQ(Parse({"--port", "1", "--help"}, options), OptionsOutcome::kHelp);
  EXPECT_EQ(Parse({"--version"}, options), OptionsOutcome::kVersion);
}

TEST(ProgramOptionsTest, BadArgumentsAreErrors) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--bogus"},
                                             {"headless"},
                                             {"--port"},
                                             {"--port", "65536"},
                                             {"--port", "-1"},
                                             {"--port", "80x"},
                                             {"--port="},
                                             {"--port", "99999999999"},
                                             {"--packet-db"},
                                             {"--packet-db="},
                                             {"--headless=yes"}}) {
    ProgramOptions options;
    EXPECT_EQ(Parse(args, options), OptionsOutcome::kError) << args[0];
  }
}

TEST(ProgramOptionsTest, OnlyAnAddressBeyondLoopbackIsWarnedAbout) {
  const std::pair<std::uint32_t, bool> cases[] = {
      {0x7F000001, false}, {0x7F000002, false}, {0xC0A83801, true}, {0x0A000001, true}};
  for (const auto& [address, warned] : cases) {
    Form1 form;
    form.LoginServer.Address.sin_addr.s_addr = htonl(address);
    EXPECT_EQ(!ExposureWarning(form).empty(), warned) << FormatIPv4(address);
  }
}

TEST(ProgramOptionsTest, WindowOnlyWhenAskedForBuiltAndShowable) {
  struct Case {
    bool Headless;
    bool WindowBuilt;
    Display::Kind Shows;
    RunMode Expected;
    const char* Notice;  // the start of what standard error says
  };
  const Case cases[] = {
      {false, true, Display::Kind::kAvailable, RunMode::kWindow, ""},
      {false, true, Display::Kind::kNone, RunMode::kConsole, "No display available"},
      {false, true, Display::Kind::kUnreachable, RunMode::kConsole, "Display :9 cannot be reached"},
      {false, false, Display::Kind::kAvailable, RunMode::kConsole, "Built without the window"},
      {true, true, Display::Kind::kAvailable, RunMode::kConsole, ""},
      {true, false, Display::Kind::kNone, RunMode::kConsole, ""},
  };
  for (const Case& c : cases) {
    ProgramOptions options;
    options.Headless = c.Headless;
    const RunChoice choice = ChooseRunMode(options, c.WindowBuilt, {c.Shows, ":9"});
    EXPECT_EQ(choice.Mode, c.Expected) << c.Notice;
    EXPECT_EQ(choice.Notice.rfind(c.Notice, 0), 0u) << choice.Notice;
    EXPECT_EQ(choice.Notice.empty(), c.Notice[0] == '\0') << choice.Notice;
  }
}

}  // namespace
}  // namespace quib
