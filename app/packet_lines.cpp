#include "app/packet_lines.h"

#include "protocol/connection_record.h"
#include "protocol/packet_cases.h"
#include "protocol/packet_log.h"
#include "protocol/packet_rendering.h"

namespace quib {

namespace {

// "Recv 0x0085 Walk to (100, 120) - 7F000001".
std::string LineOf(const char* direction, const PacketDescription& packet,
                   const ConnectionEvent& event, const PacketTable& packets) {
  const ConnectionRecord& connection = *event.Connection;
  std::string line = direction;
  line += ' ';
  line += RenderPacket(packet, event.Bytes, FindVersion(packets, connection.PacketVersion),
                       connection.PacketVersion)
              .Info;
  line += " - ";
  line += PeerHex(connection);
  return line;
}

// The row a packet taken from a client is read by: its case, or for an id no
// case knows, what the dissector shows of it.
const PacketDescription& TakenRow(const ConnectionEvent& event) {
  if (event.Case != nullptr) return *event.Case;
  return event.Id == 0x0000 ? kNoPacket : kUnknownPacket;
}

}  // namespace

void PacketLines::Observe(const ConnectionEvent& event, const PacketTable& packets,
                          const Append& append) {
  // What the socket took of a send is no other line: it holds no run up.
  if (event.Kind == EventKind::kWritten) return;
  if (event.Injected) {
    Flush(append);
    append(
        LineOf("Inject", event.Packet != nullptr ? *event.Packet : kUnknownPacket, event, packets),
        *event.Connection, event.Bytes);
    return;
  }
  const bool sent = event.Kind == EventKind::kPacketOut && event.Packet != nullptr;
  std::string line;
  if (sent) {
    line = LineOf("Send", *event.Packet, event, packets);
    if (event.Connection == heldFor_ && line == held_) {
      ++count_;
      return;
    }
  }
  Flush(append);
  if (sent) {
    heldFor_ = event.Connection;
    held_ = std::move(line);
    heldBytes_.assign(event.Bytes.begin(), event.Bytes.end());
    count_ = 1;
  } else if (event.Kind == EventKind::kPacketIn) {
    append(LineOf("Recv", TakenRow(event), event, packets), *event.Connection, event.Bytes);
  }
}

void PacketLines::Flush(const Append& append) {
  if (heldFor_ == nullptr) return;
  if (count_ > 1) held_ += " (" + std::to_string(count_) + " times)";
  append(std::move(held_), *heldFor_, heldBytes_);
  heldFor_ = nullptr;
  held_.clear();
  count_ = 0;
}

}  // namespace quib
