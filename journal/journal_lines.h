// The journal's lines, one JSON object each (format 1, docs/journal.schema.json):
// every line has its `event`, its `time` (UTC, ISO 8601, milliseconds) and
// `ms` (milliseconds since the server started), and a line about a
// connection its `conn` (the connection's number) and `peer` (the client's
// address and port). The events of the connections and what the server says
// are written here from the stream; the server's own lines (the journal's
// first line, listening, stopped) by the server that knows their values,
// starting with BeginLine.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "journal/json_line.h"
#include "packetdb/packet_database.h"
#include "protocol/connection_events.h"
#include "protocol/packet_descriptions.h"

namespace quib {

struct ConnectionRecord;

// When a line is written: `unixMs` (UTC, milliseconds since 1970) and its
// text, "2026-12-09T20:51:00.123Z", and `sinceStart`, milliseconds since the
// server started. The text of `last`, the previous line's time, serves again
// within its second; `last` then becomes this one.
struct LineTime {
  LineTime(std::int64_t unixMs, std::int64_t sinceStart, LineTime* last = nullptr);
  LineTime() = default;
  std::int64_t UnixMs = -1;
  std::int64_t Ms = 0;
  std::array<char, 24> Utc{};
};

// "2026-12-09T20:51:00.123Z" in `text`, the UTC time `unixMs` milliseconds
// after 1970 began.
void UtcText(std::int64_t unixMs, std::array<char, 24>& text);

// The fields that name a connection, `,"conn":3,"peer":"127.0.0.1:52344"`,
// as written last: most lines in a row are about the same connection.
struct PeerFields {
  std::uint64_t Conversation = 0;
  std::string Text;
};

// Starts the line of the event `name`: event, time, ms, and about a
// connection its conn and peer (from `cache` when it holds that connection,
// which then holds it).
void BeginLine(JsonLine& line, std::string_view name, const LineTime& time,
               const ConnectionRecord* about = nullptr, PeerFields* cache = nullptr);

// What the journal keeps between two events of the stream.
struct JournalNotes {
  std::uint64_t ShortPacket = 0;  // the connection whose next packet was handled short
  // The role of the client packet handled last: the account echo's, which
  // goes ahead of its reply.
  PacketRole Handling = PacketRole::kMap;
  bool CommandTold = false;  // the running command told its outcome
  LineTime LastTime;         // of the last line
  PeerFields Peer;           // of the last line about a connection
};

// What the journal knows beside an event.
struct EventContext {
  const PacketTable* Packets = nullptr;    // the versions that read map packets
  bool HandledShort = false;               // kPacketIn: a kShortPacket came just before it
  PacketRole EchoRole = PacketRole::kMap;  // kPacketOut of the account echo: its role
  std::string_view Command;                // kOutcome: the command that told it; empty: none
  PeerFields* Peer = nullptr;              // the connection's fields as written last
};

// Appends the line of `event` to `out`: accepted, closed, packet (kPacketIn
// of a known id or id 0, kPacketOut), unknown, dropped, milestone,
// detect-failed, command (kOutcome), capture (started, closed, failed) and
// warning (kWarning, and a chat's text cut). False, with nothing appended,
// for every other event.
bool AppendEventLine(std::string& out, const ConnectionEvent& event, const LineTime& time,
                     const EventContext& context);

// The name of a milestone, as the journal and the summary write it: "login".
std::string_view MilestoneName(Milestone step);

}  // namespace quib
