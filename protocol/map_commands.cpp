#include "protocol/map_commands.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "base/settings.h"
#include "protocol/connection_events.h"
#include "protocol/connection_record.h"
#include "protocol/packet_buffer.h"
#include "protocol/packet_descriptions.h"
#include "protocol/packet_handler.h"

namespace quib {

namespace {

// Where "Force Map Reload" sends every client before bringing it back.
constexpr std::string_view kReloadMap = "prt_in.gat";
constexpr std::int32_t kReloadX = 50;
constexpr std::int32_t kReloadY = 60;

std::string ClientsText(std::int32_t count) {
  return std::to_string(count) + (count == 1 ? " client" : " clients");
}

void Tell(ProtocolHost& host, const std::string& outcome) {
  host.Emit({.Kind = EventKind::kOutcome, .Text = outcome});
}

}  // namespace

std::int32_t ClampedPosition(const std::string& text, std::int32_t lower, std::int32_t upper) {
  // Leading digits only. Accumulation stops growing once past the upper
  // limit, so a number too large for 32 bits is simply above it.
  std::int64_t number = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    if (number <= upper) number = number * 10 + (c - '0');
  }
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(number, lower, upper));
}

void ReadClampedPosition(ProtocolHost& host, Axis axis, std::int32_t lower, std::int32_t upper,
                         std::int32_t& value) {
  value = 0;
  value = ClampedPosition(host.PositionText(axis), lower, upper);
  host.SetPositionText(axis, std::to_string(value));
}

WarpTarget WarpTargetOf(const ProtocolHost& host) {
  return {host.MapName(),
          ClampedPosition(host.PositionText(Axis::kX), kCellRange.Lowest, kCellRange.Highest),
          ClampedPosition(host.PositionText(Axis::kY), kCellRange.Lowest, kCellRange.Highest)};
}

std::string TargetText(const WarpTarget& target) {
  return target.Map + " (" + std::to_string(target.X) + ", " + std::to_string(target.Y) + ")";
}

std::string CellChanges(const ProtocolHost& host) {
  const WarpTarget target = WarpTargetOf(host);
  std::string changes;
  for (int i = 0; i < 2; ++i) {
    const std::string& typed = host.PositionText(i == 0 ? Axis::kX : Axis::kY);
    const std::int32_t used = i == 0 ? target.X : target.Y;
    if (typed == std::to_string(used)) continue;
    if (!changes.empty()) changes += ", ";
    changes += std::string(i == 0 ? "X " : "Y ") + (typed.empty() ? "(empty)" : typed) +
               " taken as " + std::to_string(used);
  }
  if (!changes.empty()) changes += " (cells are " + RangeText(kCellRange) + ")";
  return changes;
}

namespace {

// kMapChange, the map change, 26 bytes:
//   0 u16 id | 2 map name, 16 bytes | 18 u16 x | 20 u16 y | 22 four zero bytes
PacketBuffer MapChange(const WarpTarget& target) {
  PacketBuffer buffer{};
  WriteInt16(buffer, 0, kMapChange.Id);
  WriteFixedString(buffer, 2, target.Map, 16);
  WriteInt16(buffer, 18, static_cast<std::uint16_t>(target.X));
  WriteInt16(buffer, 20, static_cast<std::uint16_t>(target.Y));
  return buffer;
}

// Warp's steps: the map and cell in the window, the boxes then showing the
// values used, to the clients `send` sends the map change to (returning how
// many). Returns the outcome, made by `told` from the count and the target,
// with what the boxes changed.
template <typename Send, typename Told>
std::string WarpAndSay(ProtocolHost& host, Send send, Told told) {
  // Said before the boxes show the values used.
  const std::string changes = CellChanges(host);
  WarpTarget target{host.MapName()};
  ReadClampedPosition(host, Axis::kX, kCellRange.Lowest, kCellRange.Highest, target.X);
  ReadClampedPosition(host, Axis::kY, kCellRange.Lowest, kCellRange.Highest, target.Y);
  std::string outcome = told(send(MapChange(target)), target);
  if (!changes.empty()) outcome += "; " + changes;
  return outcome;
}

// Sends a map change to every client in the map.
auto Everyone(ProtocolHost& host) {
  return [&host](const PacketBuffer& mapChange) {
    return SendToMap(host, mapChange, kMapChange.FixedLength);
  };
}

}  // namespace

std::int32_t SendMapChange(ProtocolHost& host, std::string_view mapName, std::int32_t x,
                           std::int32_t y) {
  return Everyone(host)(MapChange({std::string(mapName), x, y}));
}

void Warp(ProtocolHost& host) {
  Tell(host, WarpAndSay(host, Everyone(host), [](std::int32_t sent, const WarpTarget& target) {
         return sent == 0 ? std::string("Warp: no client in the map")
                          : "Warp: " + ClientsText(sent) + " to " + TargetText(target);
       }));
}

void WarpConnection(ProtocolHost& host, ConnectionRecord& connection) {
  const auto one = [&](const PacketBuffer& mapChange) {
    SendReply(host, connection, mapChange, kMapChange.FixedLength);
    return 1;
  };
  Tell(host, WarpAndSay(host, one, [&connection](std::int32_t, const WarpTarget& target) {
         return "Warp: #" + std::to_string(connection.Conversation) + " to " + TargetText(target);
       }));
}

void ForceMapReload(ProtocolHost& host) {
  // The next map loaded, from any connection, brings everyone back
  // (EndMapReload): that stays so when no client is in the map now.
  host.SetReloadPending(true);
  const WarpTarget away{std::string(kReloadMap), kReloadX, kReloadY};
  const std::int32_t sent = SendMapChange(host, away.Map, away.X, away.Y);
  // With nobody to send away, the return still comes with the next map
  // loaded: that client goes to the map and cell the boxes hold then.
  Tell(host, sent == 0 ? "Force Map Reload: no client in the map; the next client that loads a "
                         "map is sent to " +
                             TargetText(WarpTargetOf(host)) + " instead of arriving"
                       : "Force Map Reload: " + ClientsText(sent) + " to " + TargetText(away) +
                             ", and back when one has loaded it");
}

void EndMapReload(ProtocolHost& host) {
  host.SetReloadPending(false);
  Tell(host, WarpAndSay(host, Everyone(host), [](std::int32_t sent, const WarpTarget& target) {
         return "Force Map Reload: " + ClientsText(sent) + " back to " + TargetText(target);
       }));
}

}  // namespace quib
