#include "startup/start_server.h"

#include "app/main_window.h"
#include "app/status_text.h"
#include "startup/program_options.h"

namespace quib {

bool StartServer(Form1& form, const ProgramOptions& options, std::string& error) {
  std::string reason;
  const std::string path =
      options.PacketDbPath.empty() ? DefaultPacketDatabasePath(&reason) : options.PacketDbPath;
  if (path.empty() || !form.Initialize(path, &reason)) {
    // The designed line names the file beside the program; a file the
    // operator gave is named as given.
    error = options.PacketDbPath.empty()
                ? "Unable to load Packet_db.txt\npacket_db.txt: " + reason
                : "Unable to load the packet database " + path + "\n" + reason;
    return false;
  }
  form.LogDetail.SetChecked(options.LogDetail);
  form.ListenAddress = options.Address;
  form.TickInterval = std::chrono::milliseconds(options.TickMs);
  form.AcceptDelay = std::chrono::milliseconds(options.AcceptDelayMs);
  if (!form.Load(options.Port)) {
    error = "Unable to listen on " + FormatIPv4(options.Address) + ":" +
            std::to_string(options.Port) + "\n" + ListenFailureReason(options, LastSocketError());
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
  return true;
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
}

bool SaidOnStandardError(const ConnectionEvent& event) {
  return event.Kind == EventKind::kListening || event.Kind == EventKind::kNotice ||
         event.Kind == EventKind::kWarning;
}

std::string ExposureWarning(const Form1& form) {
  const std::uint32_t address = EndpointOf(form.LoginServer.Address).Address;
  if (IsLoopback(address)) return {};
  return "Warning: listening on " + FormatIPv4(address) +
         ", which other machines can reach. Anyone on that network can connect, and the server "
         "validates nothing.";
}

std::string ListenFailureReason(const ProgramOptions& options, SocketError error) {
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
      return "The system refused to listen on port " + port + ".";
  }
}

}  // namespace quib
