// What the operator can set, with its default and its range. Every message
// that states a range (usage, help, refusals, the windows' choices) is built
// from these, so that a range is written once.
#pragma once

#include <cstdint>
#include <string>

namespace quib {

struct Range {
  std::int32_t Lowest;
  std::int32_t Highest;

  constexpr bool Holds(std::int32_t value) const { return value >= Lowest && value <= Highest; }
};

// "10 to 1000".
inline std::string RangeText(Range range) {
  return std::to_string(range.Lowest) + " to " + std::to_string(range.Highest);
}

// The listening port; 0 lets the system pick a free one.
inline constexpr std::int32_t kDefaultPort = 6900;
inline constexpr Range kPortRange{0, 65535};

// The rhythm of the poll timer: one packet per connection per tick.
inline constexpr std::int32_t kDefaultTickMs = 250;
inline constexpr Range kTickRange{10, 1000};

// The wait before each accept, which holds the one thread.
inline constexpr std::int32_t kDefaultAcceptDelayMs = 500;
inline constexpr Range kAcceptDelayRange{0, 10000};
// --within: the longest a judged run may take, in seconds (a day).
inline constexpr Range kWithinRange{1, 86400};
// --fast: the cadence of a client's automated test.
inline constexpr std::int32_t kFastTickMs = 10;
inline constexpr std::int32_t kFastAcceptDelayMs = 0;

// The map name box and the start cell.
inline constexpr char kDefaultMapName[] = "prontera.gat";
inline constexpr std::int32_t kMapNameMaxLength = 16;
inline constexpr char kDefaultPosX[] = "150";
inline constexpr char kDefaultPosY[] = "170";
// Where the position boxes are limited to, wherever they are read.
inline constexpr Range kCellRange{2, 898};

// How many unknown packets `bytes` shows at most: all that are kept.
inline constexpr Range kBytesCountRange{1, 1000};

}  // namespace quib
