#include "startup/start_server.h"

#include "app/main_window.h"
#include "startup/program_options.h"

namespace quib {

bool StartServer(Form1& form, const ProgramOptions& options, std::string& error) {
  std::string reason;
  const std::string path =
      options.PacketDbPath.empty() ? DefaultPacketDatabasePath(&reason) : options.PacketDbPath;
  if (path.empty() || !form.Initialize(path, &reason)) {
    error = "Unable to load Packet_db.txt\n" + reason;
    return false;
  }
  form.ListenAddress = htonl(options.Address);
  form.TickInterval = std::chrono::milliseconds(options.TickMs);
  form.AcceptDelay = std::chrono::milliseconds(options.AcceptDelayMs);
  if (!form.Load(options.Port)) {
    error =
        "Unable to listen on " + FormatIPv4(options.Address) + ":" + std::to_string(options.Port);
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
  std::string text = ListeningMessage(form) + "\n";
  const std::string warning = ExposureWarning(form);
  if (!warning.empty()) text += warning + "\n";
  for (const std::string& line : form.PacketDbSummary) text += line + "\n";
  return text;
}

std::string ExposureWarning(const Form1& form) {
  const std::uint32_t address = ntohl(form.LoginServer.Address.sin_addr.s_addr);
  if (IsLoopback(address)) return {};
  return "Warning: listening on " + FormatIPv4(address) +
         ", which other machines can reach. Anyone on that network can connect, and the server "
         "validates nothing.";
}

}  // namespace quib
