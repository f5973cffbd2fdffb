// The manual page against the built server's --help: every option and console
// command that one names, the other names too, so neither drifts alone.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/server_process.h"

namespace quib::test {
namespace {

using Names = std::set<std::string>;

struct NamedThings {
  Names Options;
  Names Commands;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The first word of each comma-separated part: "posx [X], posy [Y]" names
// posx and posy.
void AddNames(const std::string& synopsis, Names& names) {
  std::istringstream parts(synopsis);
  std::string part;
  while (std::getline(parts, part, ',')) {
    std::istringstream words(part);
    std::string word;
    if (words >> word) names.insert(word);
  }
}

// In --help an option's line starts "  --"; the commands are the lines
// indented by two after "one command per line:", each synopsis ending where
// two spaces part it from its description. Deeper indents continue a line.
NamedThings FromHelp(const std::string& help) {
  NamedThings named;
  bool inCommands = false;
  for (const std::string& line : Lines(help)) {
    if (line.ends_with("one command per line:")) {
      inCommands = true;
      continue;
    }
    if (!line.starts_with("  ") || line.starts_with("   ")) continue;
    if (!inCommands && line.starts_with("  --")) {
      AddNames(line.substr(0, line.find(' ', 2)), named.Options);
    } else if (inCommands) {
      AddNames(line.substr(2, line.find("  ", 2) - 2), named.Commands);
    }
  }
  return named;
}

// A tag line of the page as plain text: no macro, font change, quote or
// hyphen escape.
std::string PlainTag(std::string line) {
  if (line.starts_with(".")) {
    const std::size_t space = line.find(' ');
    line = space == std::string::npos ? std::string() : line.substr(space);
  }
  std::string plain;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') continue;
    if (line[i] == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      if (next == 'f') ++i;  // \fB, \fI, \fR, \fP
      if (next == '-') plain += '-';
      continue;  // \% and \& print nothing
    }
    plain += line[i];
  }
  return plain;
}

// In the page, the tag after each .TP of OPTIONS and of CONSOLE COMMANDS.
NamedThings FromPage(const std::string& page) {
  NamedThings named;
  Names* section = nullptr;
  const std::vector<std::string> lines = Lines(page);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].starts_with(".SH")) {
      section = lines[i] == ".SH OPTIONS"            ? &named.Options
                : lines[i] == ".SH CONSOLE COMMANDS" ? &named.Commands
                                                     : nullptr;
    } else if (section != nullptr && lines[i] == ".TP" && i + 1 < lines.size()) {
      AddNames(PlainTag(lines[i + 1]), *section);
    }
  }
  return named;
}

std::string Without(const Names& names, const Names& others) {
  std::string missing;
  for (const std::string& name : names) {
    if (!others.contains(name)) missing += (missing.empty() ? "" : " ") + name;
  }
  return missing;
}

TEST(ManualPageTest, NamesEveryOptionAndCommandOfHelpAndNoOther) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--help"}));
  ASSERT_EQ(server.Wait(), 0) << server.ErrorText();
  std::string help;
  while (const auto line = server.ReadLine()) help += *line + "\n";

  std::ifstream file(QUIB_SOURCE_DIR "/packaging/linux/quib-server.1");
  ASSERT_TRUE(file.is_open());
  std::stringstream page;
  page << file.rdbuf();

  const NamedThings fromHelp = FromHelp(help);
  const NamedThings fromPage = FromPage(page.str());
  // Both readings find something, or an empty pair would agree.
  ASSERT_TRUE(fromHelp.Options.contains("--packet-db") && fromHelp.Commands.contains("posy"))
      << help;
  ASSERT_TRUE(fromPage.Options.contains("--packet-db") && fromPage.Commands.contains("posy"));

  const struct {
    const char* What;
    const Names& Help;
    const Names& Page;
  } kinds[] = {{"options", fromHelp.Options, fromPage.Options},
               {"console commands", fromHelp.Commands, fromPage.Commands}};
  for (const auto& kind : kinds) {
    EXPECT_EQ(Without(kind.Help, kind.Page), "") << kind.What << " that --help names, the page not";
    EXPECT_EQ(Without(kind.Page, kind.Help), "") << kind.What << " that the page names, --help not";
  }
}

}  // namespace
}  // namespace quib::test
