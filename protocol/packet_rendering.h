// What the dissector shows of one packet, made in C++ from the packet's
// description (packet_descriptions.h): the text it puts in Info, as
// "0x0085 Walk to (100, 120)" or "Account echo: 2000000", and the packet's
// values by name. For a log or a journal of every packet; it allocates, so
// the server's own path calls it only when asked to.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "packetdb/packet_database.h"
#include "protocol/packet_descriptions.h"

namespace quib {

// One value of a packet, a number or a text.
struct PacketValue {
  std::string Name;
  bool IsText = false;
  std::int64_t Number = 0;
  std::string Text;
};

struct PacketRendering {
  std::string Info;  // as the dissector's Info column, for this one packet
  // In the order of the layout: "id" for a packet with one; each field's value
  // by its name (a text, an address as "127.0.0.1", a number, the count of
  // bytes for bytes); a cell as "x" and "y", a move as "from_x", "from_y",
  // "x" and "y"; entries as "entries" (their texts, joined by "; ") and
  // "entry_count"; "version" for a packet of the database, and "why" for
  // dropped bytes. A name may come twice; in Info the later one counts.
  std::vector<PacketValue> Values;
};

// Renders `bytes`, one packet of `packet`'s kind from its first byte (its id,
// where it has one). `version` is the connection's version entry, which gives
// the offsets of the fields at a Positions slot (none: those fields are not
// shown), and `versionNumber` its number; `why` is why dropped bytes were
// dropped (kDroppedBehindUnknown, kDroppedAfterClose). A field that lies
// outside the bytes is not shown, and Info shows "?" for it.
PacketRendering RenderPacket(const PacketDescription& packet, std::span<const std::uint8_t> bytes,
                             const VersionEntry* version, std::int32_t versionNumber = 0,
                             std::string_view why = {});

}  // namespace quib
