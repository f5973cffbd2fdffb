#include "app/run_summary.h"

#include "protocol/connection_record.h"

namespace quib {

void CountEvent(RunSummary& summary, const ConnectionEvent& event) {
  switch (event.Kind) {
    case EventKind::kAccepted:
      ++summary.Connections;
      if (event.Connection != nullptr &&
          summary.FurthestReached.size() < RunSummary::kFurthestKept) {
        summary.FurthestReached.push_back({.Conversation = event.Connection->Conversation,
                                           .Peer = EndpointOf(event.Connection->PeerAddress)});
      }
      break;
    case EventKind::kMilestone:
      if (event.FirstTime) ++summary.Reached[static_cast<std::size_t>(event.Step)];
      // Newest first: the connection is most often one of the last accepted.
      for (auto it = summary.FurthestReached.rbegin();
           event.Connection != nullptr && it != summary.FurthestReached.rend(); ++it) {
        if (it->Conversation != event.Connection->Conversation) continue;
        if (!it->Reached || it->Step < event.Step) it->Step = event.Step;
        it->Reached = true;
        break;
      }
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
