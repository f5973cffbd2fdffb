// "Show Every Packet": a log line for each packet the server takes from a
// client and each it sends, named and read as the dissector reads them:
//   Recv 0x0085 Walk to (100, 120) - 7F000001
//   Send 0x0087 Walk reply from (150, 170) to (100, 120) - 7F000001
//   Send 0x00B0 Status: type 1, value 99 - 7F000001 (55 times)
// A run of the same send to one connection is one line with its count. The
// operator's own bytes (send #N) are a line of their own, always shown:
//   Inject 0x0091 Map change: prontera.gat (150, 170) - 7F000001
// The
// lines come in order with the designed ones; "Hide Unknown Packets" hides
// none of them.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "packetdb/packet_database.h"
#include "protocol/connection_events.h"

namespace quib {

class PacketLines {
 public:
  // Appends one line about a connection to the log, with the bytes of its
  // packet (of the first, for a run).
  using Append = std::function<void(std::string line, const ConnectionRecord& about,
                                    std::span<const std::uint8_t> bytes)>;

  // The line of a packet taken or sent, read with the connection's version
  // in `packets`. A send may be held to count the same ones after it; any
  // other event gives the held line first.
  void Observe(const ConnectionEvent& event, const PacketTable& packets, const Append& append);
  // Gives the held line, if any.
  void Flush(const Append& append);

 private:
  const ConnectionRecord* heldFor_ = nullptr;
  std::string held_;
  std::vector<std::uint8_t> heldBytes_;
  std::uint32_t count_ = 0;
};

}  // namespace quib
