#include "app/program_options.h"

#include <algorithm>
#include <cstdio>

#include "app/main_window.h"

namespace quib {

namespace {

// The options that take a value, and what each says when the value is bad.
struct ValueOption {
  const char* Name;
  const char* Expects;
};
constexpr ValueOption kValueOptions[] = {
    {"--port", "a number from 0 to 65535"},
    {"--address", "a local IPv4 address such as 127.0.0.1 (not 0.0.0.0)"},
    {"--tick", "a number of milliseconds from 10 to 1000"},
    {"--accept-delay", "a number of milliseconds from 0 to 10000"},
    {"--packet-db", "a file name"},
    {"--capture", "a file name"},
};

const ValueOption* FindValueOption(const std::string& name) {
  for (const ValueOption& option : kValueOptions) {
    if (name == option.Name) return &option;
  }
  return nullptr;
}

// False when the value does not fit the option.
bool TakeValue(ProgramOptions& options, const std::string& name, const std::string& value) {
  if (name == "--port") return ParseNumber(value, 0, 65535, options.Port);
  if (name == "--tick") return ParseNumber(value, kMinTickMs, kMaxTickMs, options.TickMs);
  if (name == "--accept-delay") {
    return ParseNumber(value, 0, kMaxAcceptDelayMs, options.AcceptDelayMs);
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
  (name == "--capture" ? options.CapturePath : options.PacketDbPath) = value;
  return true;
}

bool IsSet(const EnvironmentLookup& lookup, const char* name) {
  const char* value = lookup(name);
  return value != nullptr && value[0] != '\0';
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

    const bool isFlag = name == "--help" || name == "-h" || name == "--version" ||
                        name == "--headless";
    if (isFlag && inlineValue) {
      error = name + " takes no value";
      return OptionsOutcome::kError;
    }
    if (name == "--help" || name == "-h") return OptionsOutcome::kHelp;
    if (name == "--version") return OptionsOutcome::kVersion;
    if (name == "--headless") {
      options.Headless = true;
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
    if (!TakeValue(options, name, value)) {
      error = name + " takes " + option->Expects + ", not \"" + value + "\"";
      return OptionsOutcome::kError;
    }
  }
  return OptionsOutcome::kRun;
}

bool ParseNumber(const std::string& text, std::int32_t lowest, std::int32_t highest,
                 std::int32_t& value) {
  if (text.empty() || text.size() > 9 || !AllDigits(text)) return false;
  const std::int32_t number = std::stoi(text);
  if (number < lowest || number > highest) return false;
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
    if (end - start > 3 || !ParseNumber(text.substr(start, end - start), 0, 255, octet)) {
      return false;
    }
    result = (result << 8) | static_cast<std::uint32_t>(octet);
    start = end + 1;
  }
  address = result;
  return true;
}

std::string FormatIPv4(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
         std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

bool IsLoopback(std::uint32_t address) { return (address >> 24) == 127; }

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
  return std::nullopt;
}

std::string UsageText(const std::string& programName) {
  const std::string indent(7 + programName.size() + 1, ' ');
  return "Usage: " + programName + " [--headless] [--port N] [--address A.B.C.D]\n" + indent +
         "[--tick MS] [--accept-delay MS] [--capture FILE] [--packet-db FILE]\n" +
         "       " + programName + " --help | --version\n";
}

std::string HelpText(const std::string& programName) {
  return UsageText(programName) +
         "\n"
         "A test server for the game client on 127.0.0.1: login, character and map\n"
         "server on one port.\n"
         "\n"
         "  --headless        run in the console even when a display is available\n"
         "  --port N          listen on port N (default 6900; 0 picks a free port)\n"
         "  --address A.B.C.D listen on this local IPv4 address (default 127.0.0.1);\n"
         "                    the replies send clients back to it\n"
         "  --tick MS         handle one packet per connection every MS milliseconds\n"
         "                    (default 250; 10 to 1000)\n"
         "  --accept-delay MS wait MS milliseconds before each accept (default 500;\n"
         "                    0 accepts at once)\n"
         "  --capture FILE    write every connection's traffic to FILE (pcapng),\n"
         "                    each client packet commented with how it was read\n"
         "  --packet-db FILE  read the packet database from FILE\n"
         "                    (default: packet_db.txt beside the executable)\n"
         "  --help            show this text\n"
         "  --version         show the version\n"
         "\n"
         "In the console, the log goes to standard output, one line per entry, and\n"
         "standard input takes one command per line:\n"
         "  map NAME          set the map name (at most 16 characters)\n"
         "  pos X Y           set the start cell\n"
         "  posx [X], posy [Y]  set one coordinate (digits only; none empties it)\n"
         "  gender female|male\n"
         "  hide on|off       hide unknown packets in the log\n"
         "  warp              send every client in the map to the map and cell\n"
         "  reload            force every client in the map to reload it\n"
         "  clear             clear the log\n"
         "  tick MS           change the tick (10 to 1000 milliseconds)\n"
         "  accept-delay MS   change the wait before each accept (0 to 10000)\n"
         "  capture FILE|off  start writing a capture to FILE, or stop\n"
         "  bytes [N]         print the bytes of the last N unknown packets (default 1)\n"
         "  show              print the current settings on standard error\n"
         "  quit              stop the server\n";
}

bool DisplayAvailable(const EnvironmentLookup& lookup) {
  return IsSet(lookup, "DISPLAY") || IsSet(lookup, "WAYLAND_DISPLAY") ||
         IsSet(lookup, "QT_QPA_PLATFORM");
}

RunMode ChooseRunMode(const ProgramOptions& options, bool windowBuilt,
                      const EnvironmentLookup& lookup) {
  if (options.Headless) return RunMode::kConsole;
  if (!windowBuilt) return RunMode::kConsoleNoWindow;
  if (!DisplayAvailable(lookup)) return RunMode::kConsoleNoDisplay;
  return RunMode::kWindow;
}

bool StartServer(Form1& form, const ProgramOptions& options, std::string& error) {
  const std::string path =
      options.PacketDbPath.empty() ? DefaultPacketDatabasePath() : options.PacketDbPath;
  std::string reason;
  if (!form.Initialize(path, &reason)) {
    error = "Unable to load Packet_db.txt\n" + reason;
    return false;
  }
  form.ListenAddress = htonl(options.Address);
  form.TickInterval = std::chrono::milliseconds(options.TickMs);
  form.AcceptDelay = std::chrono::milliseconds(options.AcceptDelayMs);
  if (!form.Load(options.Port)) {
    error = "Unable to listen on " + FormatIPv4(options.Address) + ":" +
            std::to_string(options.Port);
    return false;
  }
  if (!options.CapturePath.empty() && !form.StartCapture(options.CapturePath, error)) {
    form.Unload();
    return false;
  }
  return true;
}

std::string ListeningAddress(const Form1& form) {
  return FormatIPv4(ntohl(form.LoginServer.Address.sin_addr.s_addr)) + ":" +
         std::to_string(form.ListeningPort());
}

std::string ListeningMessage(const Form1& form) {
  return "Quib-Server listening on " + ListeningAddress(form);
}

std::string StartedText(const Form1& form) {
  const std::string warning = ExposureWarning(form);
  return ListeningMessage(form) + "\n" + (warning.empty() ? "" : warning + "\n");
}

std::string ExposureWarning(const Form1& form) {
  const std::uint32_t address = ntohl(form.LoginServer.Address.sin_addr.s_addr);
  if (IsLoopback(address)) return {};
  return "Warning: listening on " + FormatIPv4(address) +
         ", which other machines can reach. Anyone on that network can connect, and the server "
         "validates nothing.";
}

}  // namespace quib
