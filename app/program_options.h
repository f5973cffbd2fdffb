// The command line: quib-server [--headless] [--port N] [--address A.B.C.D]
// [--tick MS] [--accept-delay MS] [--packet-db FILE], --help, --version. Also
// the choice between the window and the console.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quib {

class Form1;

struct ProgramOptions {
  bool Headless = false;
  std::int32_t Port = 6900;  // 0: the system picks a free port
  std::uint32_t Address = 0x7F000001;  // host byte order: 127.0.0.1
  std::int32_t TickMs = 250;
  std::int32_t AcceptDelayMs = 500;
  std::string PacketDbPath;  // empty: packet_db.txt beside the executable
  std::string CapturePath;   // empty: no capture at start
};

// The cadence an operator may choose, in milliseconds.
inline constexpr std::int32_t kMinTickMs = 10;
inline constexpr std::int32_t kMaxTickMs = 1000;
inline constexpr std::int32_t kMaxAcceptDelayMs = 10000;

// Reads a dotted IPv4 address of four decimal numbers (host byte order).
bool ParseIPv4(const std::string& text, std::uint32_t& address);
std::string FormatIPv4(std::uint32_t address);  // host byte order in
bool IsLoopback(std::uint32_t address);         // 127.0.0.0/8
// Reads a whole decimal number from `lowest` to `highest`.
bool ParseNumber(const std::string& text, std::int32_t lowest, std::int32_t highest,
                 std::int32_t& value);

enum class OptionsOutcome {
  kRun,
  kHelp,
  kVersion,
  kError,  // `error` says what was wrong; show the usage and exit 2
};

// Reads the arguments after the program name. Both "--port N" and
// "--port=N" are taken; the port is 0 to 65535 in decimal.
OptionsOutcome ParseProgramOptions(const std::vector<std::string>& args, ProgramOptions& options,
                                   std::string& error);

// Reads the arguments and answers what needs no server: --help and --version
// on standard output, a bad option with the usage on standard error. Returns
// the exit status then (0 or 2); nullopt when the server is to run.
std::optional<int> ParseOrAnswer(const std::vector<std::string>& args,
                                 const std::string& programName, const char* version,
                                 ProgramOptions& options);

// The two-line synopsis shown after a bad option.
std::string UsageText(const std::string& programName);
// What --help shows: the synopsis, the options and the console commands.
std::string HelpText(const std::string& programName);

// Reads one environment variable; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// True when a window can be shown: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM
// is set to something.
bool DisplayAvailable(const EnvironmentLookup& lookup);

enum class RunMode {
  kWindow,
  kConsole,          // asked for with --headless
  kConsoleNoDisplay, // the window was wanted but there is no display
  kConsoleNoWindow,  // the window was wanted but the program has none
};

RunMode ChooseRunMode(const ProgramOptions& options, bool windowBuilt,
                      const EnvironmentLookup& lookup);

// Start-up in its order: initialisation (the packet database at the given
// path, or beside the executable) then load (listening on the given address
// and port, at the given cadence), then the capture if one was asked for. On
// failure `error` holds the text to show: "Unable to load Packet_db.txt" with
// the reason on a second line, "Unable to listen on ADDRESS:PORT", or why the
// capture file cannot be created.
bool StartServer(Form1& form, const ProgramOptions& options, std::string& error);

// ADDRESS:PORT of the listening socket.
std::string ListeningAddress(const Form1& form);

// The line said once the server listens, with the real port.
std::string ListeningMessage(const Form1& form);

// Said on standard error when the server listens beyond this machine; empty
// for a loopback address.
std::string ExposureWarning(const Form1& form);

// What standard error says once the server has started: the listening line
// and, beyond loopback, the warning; each line ends in a line feed.
std::string StartedText(const Form1& form);

}  // namespace quib
