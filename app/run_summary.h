// What a run came to, counted from the stream of events whether or not a
// journal is written: the connections, how many reached each step of the
// road, what the server could not read. The journal's last line carries it;
// a verdict on a run (the milestones expected of it) reads it as it is.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "net/socket_types.h"
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

  // How far each connection came, in the order of the accepts: the first
  // kFurthestKept of them (a verdict names them; memory stays bounded).
  struct Furthest {
    std::uint64_t Conversation = 0;
    Endpoint Peer;
    bool Reached = false;  // whether it reached any milestone; Step is its furthest then
    Milestone Step = Milestone::kPreLogin;
  };
  static constexpr std::size_t kFurthestKept = 1000;
  std::vector<Furthest> FurthestReached;

  std::uint64_t ReachedCount(Milestone step) const {
    return Reached[static_cast<std::size_t>(step)];
  }
};

// The kinds the summary counts; the stream spares it the others.
inline constexpr EventKinds kCountedKinds =
    KindsOf({EventKind::kAccepted, EventKind::kMilestone, EventKind::kUnknown,
             EventKind::kShortPacket, EventKind::kDetectFailed});

// Counts `event` into `summary`.
void CountEvent(RunSummary& summary, const ConnectionEvent& event);

}  // namespace quib
