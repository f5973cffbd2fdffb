// The operator's commands for clients already in the map: "Warp" and
// "Force Map Reload", and the reading of the position boxes.
#pragma once

#include <cstdint>
#include <string_view>

namespace quib {

class Form1;
class TextBox;

// The box's leading digits as a number clamped to [lower, upper]; the box then
// shows the value used.
void ReadClampedPosition(TextBox& box, std::int32_t lower, std::int32_t upper, std::int32_t& value);

// Sends the map change 0x0091 to every connection in the map.
void SendMapChange(Form1& form, std::string_view mapName, std::int32_t x, std::int32_t y);

// Every client in the map to the map and cell in the window.
void Warp(Form1& form);

// Every client in the map to "prt_in.gat" and, on the next map loaded, back.
void ForceMapReload(Form1& form);

}  // namespace quib
