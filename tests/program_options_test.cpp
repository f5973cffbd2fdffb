#include "startup/program_options.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

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

  // --check-db takes the next argument as its file unless it is an option.
  const std::pair<std::vector<std::string>, std::string> checks[] = {
      {{"--check-db"}, ""},
      {{"--check-db", "db.txt", "--headless"}, "db.txt"},
      {{"--check-db=db.txt"}, "db.txt"},
      {{"--packet-db", "db.txt", "--check-db", "--port", "0"}, "db.txt"},
  };
  for (const auto& [args, path] : checks) {
    ProgramOptions check;
    EXPECT_EQ(Parse(args, check), OptionsOutcome::kRun) << args.size();
    EXPECT_TRUE(check.CheckDb);
    EXPECT_EQ(check.PacketDbPath, path);
  }
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
                                             {"--headless=yes"},
                                             {"--check-db="},
                                             {"--expect", "walk"},
                                             {"--expect", "map=0"},
                                             {"--expect", "map=+2"},
                                             {"--expect", "map="},
                                             {"--within", "0"},
                                             {"--strict=yes"}}) {
    ProgramOptions options;
    EXPECT_EQ(Parse(args, options), OptionsOutcome::kError) << args[0];
  }
}

// --fast is a cadence that a --tick or --accept-delay after it overrides, and
// a milestone expected again is expected as named last.
TEST(ProgramOptionsTest, FastAndExpectationsTakeTheirOrder) {
  ProgramOptions options;
  ASSERT_EQ(Parse({"--tick", "500", "--fast", "--accept-delay", "100", "--expect", "map",
                   "--expect", "loaded=2", "--expect", "map=3", "--within", "30", "--until-met"},
                  options),
            OptionsOutcome::kRun);
  EXPECT_EQ(options.TickMs, kFastTickMs);
  EXPECT_EQ(options.AcceptDelayMs, 100);
  ASSERT_EQ(options.Verdict.Expected.size(), 2u);
  EXPECT_EQ(options.Verdict.Expected[0].Step, Milestone::kLoaded);
  EXPECT_EQ(options.Verdict.Expected[1].Clients, 3u);
  EXPECT_EQ(options.Verdict.Within, std::chrono::seconds(30));
  EXPECT_TRUE(options.Verdict.UntilMet && !options.Verdict.Strict);
}

// Four decimal parts of up to three digits, each 0 to 255, and nothing else;
// a refused text leaves the address as it was.
TEST(ProgramOptionsTest, IPv4AddressEdges) {
  constexpr std::uint32_t kUntouched = 0x01020304;
  const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
      {"127.0.0.1", 0x7F000001},
      {"0.0.0.0", 0},
      {"255.255.255.255", 0xFFFFFFFF},
      {"001.002.003.004", 0x01020304},
      {"256.0.0.1", std::nullopt},
      {"1.2.3.256", std::nullopt},
      {"0001.2.3.4", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"1..2.3", std::nullopt},
      {".1.2.3", std::nullopt},
      {"1.2.3.", std::nullopt},
      {"", std::nullopt},
      {" 1.2.3.4", std::nullopt},
      {"1.2.3.4 ", std::nullopt},
      {"+1.2.3.4", std::nullopt},
      {"1.-2.3.4", std::nullopt},
      {"1.2.3.0x4", std::nullopt},
      {"localhost", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    std::uint32_t address = kUntouched;
    EXPECT_EQ(ParseIPv4(text, address), expected.has_value()) << text;
    EXPECT_EQ(address, expected.value_or(kUntouched)) << text;
  }
  for (const std::uint32_t address : {0u, 0x7F000001u, 0x0A00FF01u, 0xFFFFFFFFu}) {
    std::uint32_t back = 0;
    EXPECT_TRUE(ParseIPv4(FormatIPv4(address), back)) << FormatIPv4(address);
    EXPECT_EQ(back, address) << FormatIPv4(address);
  }
  EXPECT_EQ(FormatIPv4(0x0A00FF01), "10.0.255.1");
}

TEST(ProgramOptionsTest, OnlyAnAddressBeyondLoopbackIsWarnedAbout) {
  const std::pair<std::uint32_t, bool> cases[] = {
      {0x7F000001, false}, {0x7F000002, false}, {0xC0A83801, true}, {0x0A000001, true}};
  for (const auto& [address, warned] : cases) {
    Form1 form;
    form.LoginServer.Address = SocketAddressOf({address, kDefaultPort});
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
