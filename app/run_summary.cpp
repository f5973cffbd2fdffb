#include "app/run_summary.h"

namespace quib {

void CountEvent(RunSummary& summary, const ConnectionEvent& event) {
  switch (event.Kind) {
    case EventKind::kAccepted:
      ++summary.Connections;
      break;
    case EventKind::kMilestone:
      if (event.FirstTime) ++summary.Reached[static_cast<std::size_t>(event.Step)];
      break;
    case EventKind::kUnknown:
      ++summary.UnknownPackets;
      break;
    case EventKind::kShortPacket:
      ++summary.ShortPackets;
      break;
    case EventKind::kDetectFailed:
      ++summary.DetectFailed;
      break;
    default:
      break;
  }
}

}  // namespace quib
