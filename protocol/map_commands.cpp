#include "protocol/map_commands.h"

#include <cctype>
#include <string>

#include "app/main_window.h"
#include "protocol/packet_buffer.h"
#include "protocol/packet_handler.h"

namespace quib {

namespace {

// Where "Force Map Reload" sends every client before bringing it back.
constexpr std::string_view kReloadMap = "prt_in.gat";
constexpr std::int32_t kReloadX = 50;
constexpr std::int32_t kReloadY = 60;

constexpr std::int32_t kMapChangeLength = 26;

}  // namespace

void ReadClampedPosition(TextBox& box, std::int32_t lower, std::int32_t upper,
                         std::int32_t& value) {
  value = 0;
  // Leading digits only. Accumulation stops growing once past the upper
  // limit, so a number too large for 32 bits is simply above it.
  std::int64_t number = 0;
  for (const char c : box.Text()) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    if (number <= upper) number = number * 10 + (c - '0');
  }
  if (number < lower) number = lower;
  if (number > upper) number = upper;
  value = static_cast<std::int32_t>(number);
  box.SetText(std::to_string(value));
}

// 0x0091 map change, 26 bytes:
//   0 u16 id | 2 map name, 16 bytes | 18 u16 x | 20 u16 y | 22 four zero bytes
void SendMapChange(Form1& form, std::string_view mapName, std::int32_t x, std::int32_t y) {
  PacketBuffer buffer{};
  WriteInt16(buffer, 0, 0x0091);
  WriteFixedString(buffer, 2, mapName, 16);
  WriteInt16(buffer, 18, static_cast<std::uint16_t>(x));
  WriteInt16(buffer, 20, static_cast<std::uint16_t>(y));
  SendToMap(form, buffer, kMapChangeLength);
}

void Warp(Form1& form) {
  const std::string name = form.Text2.Text();
  std::int32_t x = 0;
  std::int32_t y = 0;
  ReadClampedPosition(form.Pos[0], kCellRange.Lowest, kCellRange.Highest, x);
  ReadClampedPosition(form.Pos[1], kCellRange.Lowest, kCellRange.Highest, y);
  SendMapChange(form, name, x, y);
}

void ForceMapReload(Form1& form) {
  // The next map loaded, from any connection, brings everyone back (HandleMapLoaded).
  form.ForceReloadPending = -1;
  SendMapChange(form, kReloadMap, kReloadX, kReloadY);
}

}  // namespace quib
