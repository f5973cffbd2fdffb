#include "protocol/map_commands.h"

namespace quib {

void ReadClampedPosition(TextBox&, std::int32_t lower, std::int32_t, std::int32_t& value) {  // STUB
  value = lower;
}
void SendMapChange(Form1&, std::string_view, std::int32_t, std::int32_t) {}  // STUB
void Warp(Form1&) {}  // STUB
void ForceMapReload(Form1&) {}  // STUB

}  // namespace quib
