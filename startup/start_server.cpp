#include "startup/start_server.h"

#include <random>

#include "app/main_window.h"
#include "app/status_text.h"
#include "packetdb/database_summary.h"
#include "platform/os.h"
#include "startup/program_options.h"

#ifndef QUIB_VERSION
#define QUIB_VERSION "unknown"
#endif

namespace quib {

namespace {

// The packet database start-up reads: the file given, or the first of the
// default places that exists. Empty when there is none; `reason` says why.
std::string DatabasePath(const ProgramOptions& options, std::string& reason) {
  return options.PacketDbPath.empty() ? DefaultPacketDatabasePath(&reason) : options.PacketDbPath;
}

// What is said when the database at `path` cannot be loaded for `reason`. The
// designed line names the file beside the program; a file the operator gave is
// named as given.
std::string DatabaseFailure(const ProgramOptions& options, const std::string& path,
                            const std::string& reason) {
  return options.PacketDbPath.empty()
             ? "Unable to load Packet_db.txt\npacket_db.txt: " + reason
             : "Unable to load the packet database " + path + "\n" + reason;
}

}  // namespace

bool StartServer(Form1& form, const ProgramOptions& options, std::string& error) {
  // A ready file left by an earlier run would send a waiting test to its port.
  if (!options.ReadyFilePath.empty()) RemoveFile(options.ReadyFilePath);
  std::string reason;
  const std::string path = DatabasePath(options, reason);
  if (path.empty() || !form.Initialize(path, &reason)) {
    error = DatabaseFailure(options, path, reason);
    return false;
  }
  form.LogDetail.SetChecked(options.LogDetail);
  form.LogPackets.SetChecked(options.LogPackets);
  form.ListenAddress = options.Address;
  form.TickInterval = std::chrono::milliseconds(options.TickMs);
  form.AcceptDelay = std::chrono::milliseconds(options.AcceptDelayMs);
  if (!form.Load(options.Port)) {
    error = "Unable to listen on " + FormatIPv4(options.Address) + ":" +
            std::to_string(options.Port) + "\n" +
            ListenFailureReason(options, LastSocketError(), ListenFailureText());
    return false;
  }
  if (!options.JournalPath.empty() && !form.StartJournal(options.JournalPath, error)) {
    form.Unload();
    return false;
  }
  if (!options.CapturePath.empty() && !form.StartCapture(options.CapturePath, error)) {
    form.Stop("start-failed");
    form.Unload();
    return false;
  }
  if (!options.ReadyFilePath.empty() &&
      !ReplaceFileWith(options.ReadyFilePath, ReadyFileText(form), reason)) {
    error = "Unable to write the ready file " + options.ReadyFilePath + ": " + reason;
    form.Stop("start-failed");
    form.Unload();
    return false;
  }
  form.Rules = options.Verdict;
  form.Faults.Seed(options.Seed ? *options.Seed : std::random_device()());
  for (const FaultSpec& fault : options.Faults) form.Faults.Add(fault);
  return true;
}

std::string ReadyFileText(const Form1& form) {
  return "{\"address\":\"" + FormatIPv4(form.ListenAddress) +
         "\",\"port\":" + std::to_string(form.ListeningPort()) +
         ",\"pid\":" + std::to_string(ProcessId()) + ",\"version\":\"" QUIB_VERSION "\"}\n";
}

void RemoveReadyFile(const ProgramOptions& options) {
  if (!options.ReadyFilePath.empty()) RemoveFile(options.ReadyFilePath);
}

std::string ListeningMessage(const Form1& form) {
  return "Quib-Server listening on " + ListeningAddress(form);
}

void TellStarted(Form1& form) {
  form.Emit({.Kind = EventKind::kListening, .Text = ListeningMessage(form)});
  const std::string warning = ExposureWarning(form);
  if (!warning.empty()) form.Emit({.Kind = EventKind::kWarning, .Text = warning});
  // What the database holds, then what it warns of.
  for (std::size_t i = 0; i < form.PacketDbSummary.size(); ++i) {
    form.Emit({.Kind = i == 0 ? EventKind::kNotice : EventKind::kWarning,
               .Text = form.PacketDbSummary[i]});
  }
  if (!form.Faults.Empty()) {
    std::string faults = "Faults set:";
    for (const Fault& fault : form.Faults.All()) {
      faults.append(1, ' ').append(std::to_string(fault.Number)).append(1, ' ');
      faults.append(fault.Spec.Text).append(1, ';');
    }
    const std::string seed = std::to_string(form.Faults.SeedInForce());
    form.Emit({.Kind = EventKind::kNotice,
               .Text = faults + " seed " + seed + " (--seed " + seed + " repeats them)"});
  }
}

std::string ExposureWarning(const Form1& form) {
  const std::uint32_t address = EndpointOf(form.LoginServer.Address).Address;
  if (IsLoopback(address)) return {};
  return "Warning: listening on " + FormatIPv4(address) +
         ", which other machines can reach. Anyone on that network can connect, and the server "
         "validates nothing.";
}

std::string ListenFailureReason(const ProgramOptions& options, SocketError error,
                                const std::string& systemText) {
  const std::string port = std::to_string(options.Port);
  switch (error) {
    case SocketError::kAddressInUse:
      return "Another program already listens on port " + port +
             ": stop it, or start with --port 0 to let the system pick a free port.";
    case SocketError::kAddressNotAvailable:
      return FormatIPv4(options.Address) +
             " is not an address of this machine: give one of its own with --address, such as "
             "127.0.0.1.";
    default:
      if (systemText.empty()) return "The system refused to listen on port " + port + ".";
      return "The system refused to listen on port " + port + " (" + systemText + ").";
  }
}

int CheckPacketDatabase(const ProgramOptions& options, std::FILE* out, std::FILE* err) {
  std::string reason;
  const std::string path = DatabasePath(options, reason);
  // Each mistake as it is read: a file of a million keeps no million lines.
  ReadReport report;
  report.Say = [&](const DatabaseMistake& mistake) {
    std::fprintf(out, "%s\n", MistakeWarning(path, mistake).c_str());
  };
  PacketTable table;
  if (path.empty() || !LoadPacketDatabase(path, table, &reason, &report)) {
    std::fprintf(err, "%s\n", DatabaseFailure(options, path, reason).c_str());
    return 1;
  }
  std::fprintf(out, "%s\n", DatabaseSummary(path, table).c_str());
  for (const std::string& line : VersionWarnings(table, report.Listed)) {
    std::fprintf(out, "%s\n", line.c_str());
  }
  const std::vector<std::int32_t> unreached = VersionsThatCannotReachTheMap(table, report.Listed);
  const std::vector<std::int32_t> listed(report.Listed.begin(), report.Listed.end());
  if (unreached.empty()) {
    std::fprintf(out, "Clients of every version listed (%s) can reach the map\n",
                 Runs(listed).c_str());
  } else {
    std::fprintf(out, "Clients of %s %s cannot reach the map\n",
                 unreached.size() == 1 ? "version" : "versions", Runs(unreached).c_str());
  }
  return unreached.empty() ? 0 : 1;
}

}  // namespace quib
