#include "app/program_options.h"

#include <gtest/gtest.h>

#include <map>

#include "app/main_window.h"

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
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--bogus"}, {"headless"}, {"--port"}, {"--port", "65536"}, {"--port", "-1"},
           {"--port", "80x"}, {"--port="}, {"--port", "99999999999"}, {"--packet-db"},
           {"--packet-db="}, {"--headless=yes"}}) {
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

TEST(ProgramOptionsTest, WindowOnlyWithADisplayAndABuiltWindow) {
  std::map<std::string, std::string> environment;
  const EnvironmentLookup lookup = [&](const char* name) -> const char* {
    const auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
  };
  ProgramOptions options;
  EXPECT_EQ(ChooseRunMode(options, true, lookup), RunMode::kConsoleNoDisplay);
  environment["DISPLAY"] = "";
  EXPECT_EQ(ChooseRunMode(options, true, lookup), RunMode::kConsoleNoDisplay);
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    environment = {{name, "x"}};
    EXPECT_EQ(ChooseRunMode(options, true, lookup), RunMode::kWindow) << name;
  }
  EXPECT_EQ(ChooseRunMode(options, false, lookup), RunMode::kConsoleNoWindow);
  options.Headless = true;
  EXPECT_EQ(ChooseRunMode(options, true, lookup), RunMode::kConsole);
}

}  // namespace
}  // namespace quib
