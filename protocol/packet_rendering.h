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

// What reading a packet's fields finds, told field by field in the order of
// its layout, each value by the name Info calls it: a field's Name, else its
// Field. Nothing is made into text: a reader that writes the values
// elsewhere (the journal) allocates nothing.
class FieldSink {
 public:
  virtual void Int(std::string_view name, std::uint32_t value) = 0;
  // One character a byte (ISO 8859-1), up to the first zero byte.
  virtual void Text(std::string_view name, std::span<const std::uint8_t> bytes) = 0;
  // An IPv4 address in network byte order: 4 bytes.
  virtual void Address(std::string_view name, std::span<const std::uint8_t> bytes) = 0;
  virtual void Cell(std::string_view name, std::int64_t x, std::int64_t y) = 0;
  virtual void Move(std::string_view name, std::int64_t fromX, std::int64_t fromY, std::int64_t x,
                    std::int64_t y) = 0;
  virtual void Bytes(std::string_view name, std::int64_t count) = 0;
  // Entries, each its layout's label filled as in Info, joined by "; ".
  virtual void Entries(std::string labels, std::int64_t count) = 0;

 protected:
  ~FieldSink() = default;
};

// Reads the fields of `packet`'s layout from `bytes`, the packet from its
// first byte, into `sink`. `version` gives the offsets of the fields at a
// Positions slot (none: those fields are skipped); a field that lies outside
// the bytes is skipped.
void ReadPacketFields(const PacketDescription& packet, std::span<const std::uint8_t> bytes,
                      const VersionEntry* version, FieldSink& sink);

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
