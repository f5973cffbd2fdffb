// The command line: the options UsageText shows, --check-db [FILE], --help,
// --version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/faults.h"
#include "app/verdict.h"
#include "base/settings.h"
#include "net/ipv4_text.h"

namespace quib {

struct ProgramOptions {
  bool Headless = false;
  bool LogDetail = false;              // the time and the connection ahead of each log line
  bool LogPackets = false;             // a log line for every packet, both ways
  std::int32_t Port = kDefaultPort;    // 0: the system picks a free port
  std::uint32_t Address = 0x7F000001;  // host byte order: 127.0.0.1
  std::int32_t TickMs = kDefaultTickMs;
  std::int32_t AcceptDelayMs = kDefaultAcceptDelayMs;
  std::string PacketDbPath;           // empty: packet_db.txt beside the executable
  std::string CapturePath;            // empty: no capture at start
  bool CheckDb = false;               // check the packet database and exit; no server
  std::string JournalPath;            // empty: no journal at start
  std::string ReadyFilePath;          // empty: no ready file
  VerdictRules Verdict;               // --expect, --within, --until-met, --strict
  std::vector<FaultSpec> Faults;      // --fault, in order
  std::optional<std::uint64_t> Seed;  // --seed; none: the server picks one
};

// Reads a dotted IPv4 address of four decimal numbers (host byte order).
bool ParseIPv4(const std::string& text, std::uint32_t& address);
// Reads a whole decimal number inside `range`.
bool ParseNumber(const std::string& text, Range range, std::int32_t& value);

enum class OptionsOutcome {
  kRun,
  kHelp,
  kVersion,
  kError,  // `error` says what was wrong; show the usage and exit 2
};

// Reads the arguments after the program name. Both "--port N" and
// "--port=N" are taken; the port is 0 to 65535 in decimal. "--check-db FILE"
// is "--check-db --packet-db FILE"; its FILE is the next argument unless that
// starts with '-'.
OptionsOutcome ParseProgramOptions(const std::vector<std::string>& args, ProgramOptions& options,
                                   std::string& error);

// Reads the arguments and answers what needs no server: --help and --version
// on standard output, --check-db (CheckPacketDatabase), a bad option with the
// usage on standard error. Returns the exit status then; nullopt when the
// server is to run.
std::optional<int> ParseOrAnswer(const std::vector<std::string>& args,
                                 const std::string& programName, const char* version,
                                 ProgramOptions& options);

// The two-line synopsis shown after a bad option.
std::string UsageText(const std::string& programName);
// The exit statuses, a line each: "  3  an expectation not met".
std::string ExitStatusTable(const std::string& indent);
// What --help shows: the synopsis, the options and the console commands.
std::string HelpText(const std::string& programName);

}  // namespace quib
