// The operator's commands for clients already in the map: "Warp" and
// "Force Map Reload", and the reading of the position boxes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/protocol_host.h"

namespace quib {

// The leading digits of `text` as a number clamped to [lower, upper].
std::int32_t ClampedPosition(const std::string& text, std::int32_t lower, std::int32_t upper);

// The leading digits of the start cell box on `axis` as a number clamped to
// [lower, upper]; the box then shows the value used.
void ReadClampedPosition(ProtocolHost& host, Axis axis, std::int32_t lower, std::int32_t upper,
                         std::int32_t& value);

// Where Warp sends the clients now: the map name and the start cell clamped
// to the cells the map packets carry.
struct WarpTarget {
  std::string Map;
  std::int32_t X = 0;
  std::int32_t Y = 0;
};
WarpTarget WarpTargetOf(const ProtocolHost& host);
// "prontera.gat (150, 170)".
std::string TargetText(const WarpTarget& target);
// For each position box whose text is not the value Warp uses, what it uses
// instead: "Y 70000 taken as 898 (cells are 2 to 898)". Empty when none.
std::string CellChanges(const ProtocolHost& host);

// Sends the map change (kMapChange) to every connection in the map; returns how
// many it went to.
std::int32_t SendMapChange(ProtocolHost& host, std::string_view mapName, std::int32_t x,
                           std::int32_t y);

// Every client in the map to the map and cell in the window; says so.
void Warp(ProtocolHost& host);

// One connection, which the caller knows to be in the map, to the map and
// cell in the window; says so ("Warp: #3 to prontera.gat (150, 170)").
void WarpConnection(ProtocolHost& host, ConnectionRecord& connection);

// Every client in the map to "prt_in.gat" and, on the next map loaded, back;
// says so, also when no client is in the map now and the return waits for
// the next one that loads a map.
void ForceMapReload(ProtocolHost& host);

// A map loaded while a reload is pending: the reload is over, and every
// client in the map goes back to the map and cell in the window; says so.
void EndMapReload(ProtocolHost& host);

}  // namespace quib
