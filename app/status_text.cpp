#include "app/status_text.h"

#include "app/main_window.h"
#include "net/ipv4_text.h"
#include "protocol/map_commands.h"

namespace quib {

std::string ListeningAddress(const Form1& form) {
  return FormatEndpoint(EndpointOf(form.LoginServer.Address));
}

ConnectionCounts CountConnections(const Form1& form) {
  ConnectionCounts counts;
  for (const ConnectionRecord& connection : form.ConnectionTable) {
    if (!IsSocketOpen(connection.Socket)) continue;
    ++counts.Open;
    if (connection.State == kStateMap) ++counts.InMap;
  }
  return counts;
}

std::string StatusText(const Form1& form) {
  const ConnectionCounts counts = CountConnections(form);
  std::string text =
      "Listening on " + ListeningAddress(form) + " | " + std::to_string(counts.Open) +
      (counts.Open == 1 ? " connection, " : " connections, ") + std::to_string(counts.InMap) +
      " in the map | Warp to " + TargetText(WarpTargetOf(form));
  if (form.ReloadPending()) text += " | reload pending";
  if (form.Capture.IsOpen()) text += " | Capture: " + form.Capture.Path();
  return text;
}

}  // namespace quib
