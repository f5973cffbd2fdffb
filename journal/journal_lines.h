// The journal's lines, one JSON object each (format 1, docs/journal.schema.json):
// every line has its `event`, its `time` (UTC, ISO 8601, milliseconds) and
// `ms` (milliseconds since the server started), and a line about a
// connection its `conn` (the connection's number) and `peer` (the client's
// address and port). The events of the connections and what the server says
// are written here from the stream; the server's own lines (the journal's
// first line, listening, stopped) by the server that knows their values,
// starting with BeginLine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "journal/json_line.h"
#include "packetdb/packet_database.h"
#include "protocol/connection_events.h"
#include "protocol/packet_descriptions.h"

namespace quib {

struct ConnectionRecord;

// When a line is written.
struct LineTime {
  std::int64_t UnixMs = 0;  // UTC, milliseconds since 1970
  std::int64_t Ms = 0;      // milliseconds since the server started
};

// "2026-12-09T20:51:00.123Z".
std::string UtcText(std::int64_t unixMs);

// Starts the line of the event `name`: event, time, ms, and about a
// connection its conn and peer.
void BeginLine(JsonLine& line, std::string_view name, const LineTime& time,
               const ConnectionRecord* about = nullptr);

// What the journal keeps between two events of the stream.
struct JournalNotes {
  std::uint64_t ShortPacket = 0;  // the connection whose next packet was handled short
  // The role of the client packet handled last: the account echo's, which
  // goes ahead of its reply.
  PacketRole Handling = PacketRole::kMap;
  bool CommandTold = false;  // the running command told its outcome
};

// What the journal knows beside an event.
struct EventContext {
  const PacketTable* Packets = nullptr;    // the versions that read map packets
  bool HandledShort = false;               // kPacketIn: a kShortPacket came just before it
  PacketRole EchoRole = PacketRole::kMap;  // kPacketOut of the account echo: its role
  std::string_view Command;                // kOutcome: the command that told it; empty: none
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
