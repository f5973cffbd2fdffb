#include "app/program_options.h"

#include <algorithm>

#include "app/main_window.h"

namespace quib {

namespace {

bool ParsePort(const std::string& text, std::int32_t& port) {
  if (text.empty() || text.size() > 5) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const int value = std::stoi(text);
  if (value > 65535) return false;
  port = value;
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
    if (name != "--port" && name != "--packet-db") {
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
    if (name == "--port") {
      if (!ParsePort(value, options.Port)) {
        error = "--port takes a number from 0 to 65535, not \"" + value + "\"";
        return OptionsOutcome::kError;
      }
    } else if (value.empty()) {
      error = "--packet-db needs a file name";
      return OptionsOutcome::kError;
    } else {
      options.PacketDbPath = value;
    }
  }
  return OptionsOutcome::kRun;
}

std::string UsageText(const std::string& programName) {
  return "Usage: " + programName + " [--headless] [--port N] [--packet-db FILE]\n" +
         "       " + programName + " --help | --version\n";
}

std::string HelpText(const std::string& programName) {
  return UsageText(programName) +
         "\n"
         "A test server for the game client on 127.0.0.1: login, character and map\n"
         "server on one port.\n"
         "\n"
         "  --headless        run in the console even when a display is available\n"
         "  --port N          listen on 127.0.0.1:N (default 6900; 0 picks a free port)\n"
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
  if (!form.Load(options.Port)) {
    error = "Unable to listen on 127.0.0.1:" + std::to_string(options.Port);
    return false;
  }
  return true;
}

std::string ListeningMessage(const Form1& form) {
  return "Quib-Server listening on 127.0.0.1:" + std::to_string(form.ListeningPort());
}

}  // namespace quib
