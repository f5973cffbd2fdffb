#include "startup/program_options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "app/controls.h"
#include "startup/console_commands.h"
#include "startup/start_server.h"

namespace quib {

namespace {

// The options that take a value, and what each takes.
enum class ValueKind {
  kNumber,
  kMilliseconds,
  kSeconds,
  kAddress,
  kFile,
  kMilestone,
  kFault,
  kSeed
};
struct ValueOption {
  const char* Name;
  ValueKind Kind;
  Range Bounds;  // for numbers
};
constexpr ValueOption kValueOptions[] = {
    {"--port", ValueKind::kNumber, kPortRange},
    {"--address", ValueKind::kAddress, {}},
    {"--tick", ValueKind::kMilliseconds, kTickRange},
    {"--accept-delay", ValueKind::kMilliseconds, kAcceptDelayRange},
    {"--packet-db", ValueKind::kFile, {}},
    {"--capture", ValueKind::kFile, {}},
    {"--journal", ValueKind::kFile, {}},
    {"--ready-file", ValueKind::kFile, {}},
    {"--expect", ValueKind::kMilestone, {}},
    {"--within", ValueKind::kSeconds, kWithinRange},
    {"--fault", ValueKind::kFault, {}},
    {"--seed", ValueKind::kSeed, {}},
};

// The options that take no value.
constexpr const char* kFlags[] = {"--help",     "-h",           "--version",
                                  "--headless", "--log-detail", "--log-packets",
                                  "--fast",     "--until-met",  "--strict"};

bool IsFlag(const std::string& name) {
  return std::find(std::begin(kFlags), std::end(kFlags), name) != std::end(kFlags);
}

const ValueOption* FindValueOption(const std::string& name) {
  for (const ValueOption& option : kValueOptions) {
    if (name == option.Name) return &option;
  }
  return nullptr;
}

// What the option says when its value is bad.
std::string Expects(const ValueOption& option) {
  switch (option.Kind) {
    case ValueKind::kNumber:
      return "a number from " + RangeText(option.Bounds);
    case ValueKind::kMilliseconds:
      return "a number of milliseconds from " + RangeText(option.Bounds);
    case ValueKind::kSeconds:
      return "a number of seconds from " + RangeText(option.Bounds);
    case ValueKind::kFault:
      return "a fault such as slice:7 or drop,reply=0x0073,count=1 (see --help)";
    case ValueKind::kSeed:
      return "a whole number from 0 to 18446744073709551615";
    case ValueKind::kMilestone:
      return "a milestone (" + ExpectableMilestones() + "), then =N for N clients";
    case ValueKind::kAddress:
      return "a local IPv4 address such as 127.0.0.1 (not 0.0.0.0)";
    case ValueKind::kFile:
      break;
  }
  return "a file name";
}

// False when the value does not fit the option.
bool TakeValue(ProgramOptions& options, const ValueOption& option, const std::string& value) {
  const std::string name = option.Name;
  if (name == "--port") return ParseNumber(value, option.Bounds, options.Port);
  if (name == "--tick") return ParseNumber(value, option.Bounds, options.TickMs);
  if (name == "--accept-delay") return ParseNumber(value, option.Bounds, options.AcceptDelayMs);
  if (name == "--within") {
    std::int32_t seconds = 0;
    if (!ParseNumber(value, option.Bounds, seconds)) return false;
    options.Verdict.Within = std::chrono::seconds(seconds);
    return true;
  }
  if (name == "--fault") {
    FaultSpec spec;
    std::string ignored;
    if (!ParseFaultSpec(value, spec, ignored)) return false;
    options.Faults.push_back(std::move(spec));
    return true;
  }
  if (name == "--seed") {
    std::uint64_t seed = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seed);
    if (value.empty() || error != std::errc() || end != value.data() + value.size()) return false;
    options.Seed = seed;
    return true;
  }
  if (name == "--expect") {
    Expectation expectation;
    if (!ParseExpectation(value, expectation)) return false;
    // A milestone named again is expected as named last.
    auto& expected = options.Verdict.Expected;
    std::erase_if(expected, [&](const Expectation& e) { return e.Step == expectation.Step; });
    expected.push_back(expectation);
    return true;
  }
  if (name == "--address") {
    // Every address at once cannot be advertised to a client, nor can a
    // broadcast or multicast one.
    std::uint32_t address = 0;
    if (!ParseIPv4(value, address) || address == 0 || address >= 0xE0000000) return false;
    options.Address = address;
    return true;
  }
  if (value.empty()) return false;
  (name == "--capture"      ? options.CapturePath
   : name == "--journal"    ? options.JournalPath
   : name == "--ready-file" ? options.ReadyFilePath
                            : options.PacketDbPath) = value;
  return true;
}

}  // namespace

OptionsOutcome ParseProgramOptions(const std::vector<std::string>& args, ProgramOptions& options,
                                   std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    // "--name=value" is the same as "--name value".
    std::string name = args[i];
    std::string value;
    const auto equals = name.find('=');
    const bool inlineValue = name.rfind("--", 0) == 0 && equals != std::string::npos;
    if (inlineValue) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }

    if (IsFlag(name) && inlineValue) {
      error = name + " takes no value";
      return OptionsOutcome::kError;
    }
    if (name == "--check-db") {
      // Its file is optional: the next argument, unless that is an option.
      const bool file = inlineValue || (i + 1 < args.size() && !args[i + 1].starts_with("-"));
      if (!inlineValue && file) value = args[++i];
      if (file && value.empty()) {
        error = "--check-db takes a file name, not \"\"";
        return OptionsOutcome::kError;
      }
      if (file) options.PacketDbPath = value;
      options.CheckDb = true;
      continue;
    }
    if (name == "--help" || name == "-h") return OptionsOutcome::kHelp;
    if (name == "--version") return OptionsOutcome::kVersion;
    if (name == "--fast") {
      // A --tick or --accept-delay after it wins.
      options.TickMs = kFastTickMs;
      options.AcceptDelayMs = kFastAcceptDelayMs;
      continue;
    }
    if (IsFlag(name)) {
      (name == "--headless"      ? options.Headless
       : name == "--log-detail"  ? options.LogDetail
       : name == "--log-packets" ? options.LogPackets
       : name == "--until-met"   ? options.Verdict.UntilMet
                                 : options.Verdict.Strict) = true;
      continue;
    }
    const ValueOption* option = FindValueOption(name);
    if (option == nullptr) {
      error = "unknown option \"" + args[i] + "\"";
      return OptionsOutcome::kError;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return OptionsOutcome::kError;
      }
      value = args[++i];
    }
    if (!TakeValue(options, *option, value)) {
      error = name + " takes " + Expects(*option);
      error += ", not \"" + value + "\"";
      return OptionsOutcome::kError;
    }
  }
  return OptionsOutcome::kRun;
}

bool ParseNumber(const std::string& text, Range range, std::int32_t& value) {
  if (text.empty() || text.size() > 9 || !AllDigits(text)) return false;
  const std::int32_t number = std::stoi(text);
  if (!range.Holds(number)) return false;
  value = number;
  return true;
}

bool ParseIPv4(const std::string& text, std::uint32_t& address) {
  std::uint32_t result = 0;
  std::size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t end = part < 3 ? text.find('.', start) : text.size();
    if (end == std::string::npos) return false;
    std::int32_t octet = 0;
    if (end - start > 3 || !ParseNumber(text.substr(start, end - start), Range{0, 255}, octet)) {
      return false;
    }
    result = (result << 8) | static_cast<std::uint32_t>(octet);
    start = end + 1;
  }
  address = result;
  return true;
}

std::optional<int> ParseOrAnswer(const std::vector<std::string>& args,
                                 const std::string& programName, const char* version,
                                 ProgramOptions& options) {
  std::string error;
  switch (ParseProgramOptions(args, options, error)) {
    case OptionsOutcome::kHelp:
      std::fputs(HelpText(programName).c_str(), stdout);
      return 0;
    case OptionsOutcome::kVersion:
      std::printf("quib-server %s\n", version);
      return 0;
    case OptionsOutcome::kError:
      std::fprintf(stderr, "%s: %s\n%s", programName.c_str(), error.c_str(),
                   UsageText(programName).c_str());
      return 2;
    case OptionsOutcome::kRun:
      break;
  }
  if (options.CheckDb) return CheckPacketDatabase(options, stdout, stderr);
  return std::nullopt;
}

std::string UsageText(const std::string& programName) {
  const std::string indent(7 + programName.size() + 1, ' ');
  return "Usage: " + programName + " [--headless] [--log-detail] [--log-packets] [--port N]\n" +
         indent + "[--address A.B.C.D] [--tick MS] [--accept-delay MS] [--fast]\n" + indent +
         "[--capture FILE] [--journal FILE] [--packet-db FILE] [--ready-file FILE]\n" + indent +
         "[--expect MILESTONE[=N]]... [--within SECONDS] [--until-met] [--strict]\n" + indent +
         "[--fault SPEC]... [--seed N]\n" + "       " + programName + " --check-db [FILE]\n" +
         "       " + programName + " --help | --version\n";
}

std::string ExitStatusTable(const std::string& indent) {
  std::string text;
  for (const ExitStatusRow& row : kExitStatuses) {
    text += indent + std::to_string(row.Status) + "  " + row.Meaning + "\n";
  }
  return text;
}

std::string HelpText(const std::string& programName) {
  return UsageText(programName) +
         "\n"
         "A test server for the game client on 127.0.0.1: login, character and map\n"
         "server on one port.\n"
         "\n"
         "  --headless        run in the console even when a display is available\n"
         "  --log-detail      start each log line with the time of day and the\n"
         "                    connection: 12:04:05.120 [#3 127.0.0.1:52344] ...\n"
         "  --log-packets     add a log line for every packet taken and sent:\n"
         "                    Recv 0x0085 Walk to (100, 120) - 7F000001\n"
         "  --port N          listen on port N (default " +
         std::to_string(kDefaultPort) +
         "; 0 picks a free port)\n"
         "  --address A.B.C.D listen on this local IPv4 address (default 127.0.0.1);\n"
         "                    the replies send clients back to it\n"
         "  --tick MS         handle one packet per connection every MS milliseconds\n"
         "                    (default " +
         std::to_string(kDefaultTickMs) + "; " + RangeText(kTickRange) +
         ")\n"
         "  --accept-delay MS wait MS milliseconds before each accept (default " +
         std::to_string(kDefaultAcceptDelayMs) + ";\n                    " +
         RangeText(kAcceptDelayRange) +
         "; 0 accepts at once)\n"
         "  --fast            the cadence of an automated test: --tick " +
         std::to_string(kFastTickMs) + " --accept-delay " + std::to_string(kFastAcceptDelayMs) +
         ";\n"
         "                    a --tick or --accept-delay after it wins\n"
         "  --capture FILE    write every connection's traffic to FILE (pcapng),\n"
         "                    each client packet commented with how it was read\n"
         "  --journal FILE    write what happens to FILE as JSON Lines, one event\n"
         "                    a line (its schema: journal.schema.json)\n"
         "  --packet-db FILE  read the packet database from FILE\n"
         "                    (default: packet_db.txt beside the executable, else\n"
         "                    in ../share/quib-server from its folder)\n"
         "  --check-db [FILE] read the packet database (FILE, else the one the server\n"
         "                    would read), print each mistake of the file, what it\n"
         "                    holds and what will not work, and exit: 0 when clients\n"
         "                    of every version it lists can reach the map, 1 when\n"
         "                    some cannot or it cannot be loaded\n"
         "  --ready-file FILE once listening, write FILE at once (a temporary file\n"
         "                    renamed into place): JSON with address, port, pid and\n"
         "                    version; it is removed when the server ends\n"
         "  --expect MILESTONE[=N]\n"
         "                    expect N clients (default 1) to reach MILESTONE: " +
         ExpectableMilestones() +
         ";\n"
         "                    repeatable; the exit status says whether all were met\n"
         "  --within SECONDS  end the run after SECONDS at the latest (" +
         RangeText(kWithinRange) +
         ")\n"
         "  --until-met       end the run as soon as every expectation is met\n"
         "  --strict          end the run at the first unknown packet, packet handled\n"
         "                    short or map login whose version cannot be told\n"
         "  --fault SPEC      a fault on the packets the server sends; repeatable.\n"
         "                    SPEC is a kind, then filters, comma-separated:\n"
         "                    slice:N[,gap=MS], delay:MS[,jitter=MS], stall, drop,\n"
         "                    duplicate, truncate:N, corrupt:N, close, reset (with\n"
         "                    ,drop: instead of the packet); filters reply=0xNNNN,\n"
         "                    conn=N, role=login|character|map, after=K, count=N,\n"
         "                    every=N, p=P\n"
         "  --seed N          make every probability and jitter of the faults\n"
         "                    repeatable (without it the server picks one and says it)\n"
         "  --help            show this text\n"
         "  --version         show the version\n"
         "\n"
         "With --expect, --within, --until-met or --strict, standard error gets the\n"
         "run's summary at the end. Exit status:\n" +
         ExitStatusTable("  ") +
         "\n"
         "In the console, the log goes to standard output, one line per entry, and\n"
         "standard input takes one command per line:\n" +
         ConsoleCommandsHelp("  ") +
         "\n"
         "What each command did, and any value the server changed, is said on\n"
         "standard error.\n";
}

}  // namespace quib
