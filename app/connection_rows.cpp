#include "app/connection_rows.h"

#include <algorithm>
#include <utility>

#include "app/main_window.h"
#include "net/ipv4_text.h"

namespace quib {

namespace {

const char* RoleText(const ConnectionRecord& connection) {
  switch (connection.State) {
    case kStateLogin:
      return "login";
    case kStateCharacter:
      return "character";
    case kStateMap:
      return "map";
    default:
      return "-";
  }
}

bool HasReached(const ConnectionRecord& connection, Milestone step) {
  return (connection.Reached & (1u << static_cast<unsigned>(step))) != 0;
}

std::string StateText(const ConnectionRecord& connection) {
  if (connection.GivenUp) return "given up: not reading";
  if (!IsSocketOpen(connection.Socket)) return "closed by the server";
  switch (connection.State) {
    case kStateLogin:
      return "logging in";
    case kStateCharacter:
      return HasReached(connection, Milestone::kCharacters) ? "character list" : "character server";
    case kStateMap:
      return HasReached(connection, Milestone::kLoaded) ? "in the map, loaded" : "in the map";
    default:
      return connection.FirstPacketId == 0 ? "connected" : "version detection";
  }
}

// "2.5 s", to a tenth of a second.
std::string SinceText(std::chrono::steady_clock::time_point then,
                      std::chrono::steady_clock::time_point now) {
  if (then == std::chrono::steady_clock::time_point{}) return "-";
  const auto tenths = std::max<std::int64_t>(
      0, std::chrono::duration_cast<std::chrono::milliseconds>(now - then).count() / 100);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

}  // namespace

std::vector<ConnectionRow> ConnectionRows(const Form1& form,
                                          std::chrono::steady_clock::time_point now) {
  std::vector<ConnectionRow> rows;
  rows.reserve(form.ConnectionTable.size());
  for (const ConnectionRecord& connection : form.ConnectionTable) {
    const TrafficCounts& traffic = connection.Traffic;
    // Piece by piece: "literal" + a temporary string sets off a false overlap
    // warning in GCC 12 at -O3.
    std::string number = "#";
    number += std::to_string(connection.Conversation);
    rows.push_back({connection.Conversation,
                    {std::move(number), FormatEndpoint(EndpointOf(connection.PeerAddress)),
                     RoleText(connection),
                     connection.State == kStateMap ? std::to_string(connection.PacketVersion) : "-",
                     StateText(connection), std::to_string(traffic.PacketsIn),
                     std::to_string(traffic.BytesIn), std::to_string(traffic.PacketsOut),
                     std::to_string(traffic.BytesOut), SinceText(traffic.LastPacket, now)}});
  }
  return rows;
}

std::string ConnectionTableText(const std::vector<ConnectionRow>& rows) {
  if (rows.empty()) return "No connection\n";
  std::array<std::size_t, kConnectionColumns.size()> widths{};
  for (std::size_t i = 0; i < widths.size(); ++i) {
    widths[i] = std::char_traits<char>::length(kConnectionColumns[i]);
    for (const ConnectionRow& row : rows) widths[i] = std::max(widths[i], row.Cells[i].size());
  }
  const auto line = [&widths](const auto& cells) {
    std::string text;
    for (std::size_t i = 0; i < widths.size(); ++i) {
      std::string cell = cells[i];
      if (i + 1 < widths.size()) cell.resize(widths[i] + 2, ' ');
      text += cell;
    }
    return text + "\n";
  };
  std::string text = line(kConnectionColumns);
  for (const ConnectionRow& row : rows) text += line(row.Cells);
  return text;
}

}  // namespace quib
