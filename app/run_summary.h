// What a run came to, counted from the stream of events whether or not a
// journal is written: the connections, how many reached each step of the
// road, what the server could not read. The journal's last line carries it;
// a verdict on a run (the milestones expected of it) reads it as it is.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/connection_events.h"

namespace quib {

inline constexpr std::size_t kMilestoneCount = static_cast<std::size_t>(Milestone::kLoaded) + 1;

struct RunSummary {
  std::uint64_t Connections = 0;  // accepted
  // For each milestone, how many connections reached it (each once).
  std::array<std::uint64_t, kMilestoneCount> Reached{};
  std::uint64_t UnknownPackets = 0;
  std::uint64_t ShortPackets = 0;  // handled with fewer bytes than their length
  std::uint64_t DetectFailed = 0;  // map logins whose version could not be told
  // What the console could not write: log lines for standard output and
  // messages for standard error, dropped while their reader did not read.
  std::uint64_t DroppedLines = 0;
  std::uint64_t DroppedMessages = 0;

  std::uint64_t ReachedCount(Milestone step) const {
    return Reached[static_cast<std::size_t>(step)];
  }
};

// Counts `event` into `summary`.
void CountEvent(RunSummary& summary, const ConnectionEvent& event);

}  // namespace quib
