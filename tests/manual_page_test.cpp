// The manual page and README.md against the program: every option of --help
// and every console command of the table, and every range and bound the two
// documents state, so that neither drifts from the code alone.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/connections.h"
#include "app/controls.h"
#include "app/verdict.h"
#include "base/settings.h"
#include "console/console_session.h"
#include "console/console_wait.h"
#include "console/output_queue.h"
#include "packetdb/database_summary.h"
#include "protocol/unknown_packets.h"
#include "startup/console_commands.h"
#include "tests/server_process.h"

namespace quib::test {
namespace {

using Names = std::set<std::string>;

struct NamedThings {
  Names Options;
  Names Commands;
  Names CommandSynopses;  // the page's: "posx [X]", "posy [Y]"
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

// Runs of white space as one space.
std::string Folded(const std::string& text) {
  return std::regex_replace(text, std::regex("\\s+"), " ");
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
      if (section != &named.Commands) continue;
      std::istringstream tags(Folded(PlainTag(lines[i + 1])));
      for (std::string tag; std::getline(tags, tag, ',');) {
        named.CommandSynopses.insert(tag.substr(tag.find_first_not_of(' ')));
      }
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

std::string ReadSource(const std::string& path) {
  std::ifstream file(QUIB_SOURCE_DIR "/" + path);
  EXPECT_TRUE(file.is_open()) << path;
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The page as running text: each line as PlainTag reads it, the quotes
// dropped, white space folded.
std::string PlainPage(std::string page) {
  for (const std::string_view quote : {"\\(lq", "\\(rq"}) {
    for (auto at = page.find(quote); at != std::string::npos; at = page.find(quote, at)) {
      page.erase(at, quote.size());
    }
  }
  std::string plain;
  for (const std::string& line : Lines(page)) {
    if (!line.starts_with(".\\\"")) plain += PlainTag(line) + " ";
  }
  return Folded(plain);
}

// "100,000"; "1 MiB", "64 KiB".
std::string Thousands(std::size_t n) {
  const std::string digits = std::to_string(n);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}
std::string Binary(std::size_t bytes) {
  return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB"
                                : std::to_string(bytes >> 10) + " KiB";
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

// The page's CONSOLE COMMANDS tags are the table's synopses, and README's
// console table names the table's commands.
TEST(ManualPageTest, TheConsoleCommandsAreTheTables) {
  Names synopses, names, readme;
  for (const ConsoleCommand& command : ConsoleCommands()) {
    synopses.insert(command.Synopsis);
    names.insert(command.Name);
  }
  const Names page = FromPage(ReadSource("packaging/linux/quib-server.1")).CommandSynopses;
  // From "| command |" to the table's end, each row's first cell without its
  // backquotes: "posx [X], posy [Y]".
  bool inCommands = false;
  for (const std::string& line : Lines(ReadSource("README.md"))) {
    if (line.starts_with("| command |")) inCommands = true;
    if (!line.starts_with("| `")) inCommands = inCommands && line.starts_with("|");
    if (!inCommands || !line.starts_with("| `")) continue;
    std::string cell = line.substr(2, line.find(" |", 2) - 2);
    std::erase(cell, '`');
    AddNames(cell, readme);
  }
  EXPECT_EQ(Without(synopses, page), "") << "in the table, not in the page";
  EXPECT_EQ(Without(page, synopses), "") << "in the page, not in the table";
  EXPECT_EQ(Without(names, readme), "") << "in the table, not in README.md";
  EXPECT_EQ(Without(readme, names), "") << "in README.md, not in the table";
}

// Each range and bound as both documents state it, made from the constant that
// holds it; every "N to M" they state is one of those ranges or a named other.
// README.md leaves the bounds and the packet database to the reference it links.
TEST(ManualPageTest, TheDocumentsStateTheRangesAndBoundsTheCodeHolds) {
  const std::string readme = Folded(ReadSource("README.md") + ReadSource("docs/reference.md") +
                                    ReadSource("docs/building.md"));
  const std::string page = PlainPage(ReadSource("packaging/linux/quib-server.1"));
  const auto ms = [](auto duration) { return std::to_string(duration.count()); };
  const struct {
    std::string Text;
    bool InReadme, InPage;
  } facts[] = {
      {"default " + std::to_string(kDefaultPort), true, true},
      {RangeText(kPortRange), true, true},
      {"default " + std::to_string(kDefaultTickMs) + "; " + RangeText(kTickRange), true, true},
      {"default " + std::to_string(kDefaultAcceptDelayMs) + "; " + RangeText(kAcceptDelayRange),
       true, true},
      {RangeText(kCellRange), true, true},
      {"at most " + std::to_string(kMapNameMaxLength) + " characters", true, true},
      {RangeText(kBytesCountRange), true, true},
      {Thousands(ListBox::kMaxLines) + " lines", true, true},
      {Binary(kLogOutputLimit), true, true},
      {Binary(kMessagesOutputLimit), true, true},
      {Binary(kUnsentLimit) + " per connection", true, true},
      {std::to_string(UnknownPackets::kKept) + " packets of at most " +
           std::to_string(kBufferSize) + " bytes",
       true, true},
      {std::to_string(kBufferSize) + "-byte buffer", true, true},
      // The loader's own bound; packet_database_load_test holds it to this.
      {"at most " + Binary(std::size_t{16} << 20), true, true},
      {"The first " + std::to_string(kMistakesSaidPerKind) + " of each kind", true, true},
      {"longer than " + std::to_string(kMaxCommandLine) + " characters", false, true},
      {"nothing for " + ms(kStalledOutput) + " ms", true, false},
      {"within " + std::to_string(kLastOutputLimit.count() / 1000) + " seconds", true, false},
      {RangeText(kWithinRange), true, true},
  };
  // README's table of exit statuses is the program's.
  for (const ExitStatusRow& row : kExitStatuses) {
    const std::string line = "| " + std::to_string(row.Status) + " | " + row.Meaning + " |";
    EXPECT_NE(ReadSource("README.md").find(line), std::string::npos) << line;
  }
  for (const auto& fact : facts) {
    EXPECT_EQ(readme.find(fact.Text) != std::string::npos, fact.InReadme) << fact.Text;
    EXPECT_EQ(page.find(fact.Text) != std::string::npos, fact.InPage) << fact.Text;
  }

  const std::set<std::string> ranges = {
      RangeText(kPortRange),
      RangeText(kTickRange),
      RangeText(kAcceptDelayRange),
      RangeText(kCellRange),
      RangeText(kBytesCountRange),
      RangeText(kWithinRange),
      "1 to 65535",  // the packet versions a section header may name
      "5 to 22",     // the versions of the shipped database, in an example line
      "16 to 256",   // the icon's sizes in pixels
  };
  const std::regex stated("\\b[0-9][0-9,]* to [0-9][0-9,]*[0-9]\\b");
  for (const std::string* text : {&readme, &page}) {
    for (std::sregex_iterator it(text->begin(), text->end(), stated), end; it != end; ++it) {
      EXPECT_TRUE(ranges.contains(it->str())) << "a range no constant holds: " << it->str();
    }
  }
}

}  // namespace
}  // namespace quib::test
