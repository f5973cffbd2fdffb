#include "journal/journal_lines.h"

#include <chrono>
#include <cstdio>

#include "net/ipv4_text.h"
#include "protocol/connection_record.h"
#include "protocol/packet_cases.h"
#include "protocol/packet_log.h"
#include "protocol/packet_rendering.h"

namespace quib {

namespace {

std::string_view RoleName(PacketRole role) {
  switch (role) {
    case PacketRole::kLogin:
      return "login";
    case PacketRole::kCharacter:
      return "character";
    case PacketRole::kMap:
      break;
  }
  return "map";
}

std::string_view CloseName(CloseKind how) {
  switch (how) {
    case CloseKind::kClient:
      return "client";
    case CloseKind::kServer:
      return "server";
    case CloseKind::kReset:
      return "reset";
    case CloseKind::kGivenUp:
      break;
  }
  return "given-up";
}

// The packet's values by the names the dissector gives them, the id and the
// version left to the line itself. A name that comes again is numbered:
// "value", "value_2".
void WriteFields(JsonLine& line, const std::vector<PacketValue>& values) {
  line.Open("fields");
  for (std::size_t i = 0; i < values.size(); ++i) {
    const PacketValue& value = values[i];
    if (value.Name == "id" || value.Name == "version") continue;
    int seen = 1;
    for (std::size_t j = 0; j < i; ++j) seen += values[j].Name == value.Name ? 1 : 0;
    const std::string name = seen == 1 ? value.Name : value.Name + "_" + std::to_string(seen);
    if (value.IsText) {
      line.Text(name, value.Text);
    } else {
      line.Number(name, value.Number);
    }
  }
  line.Close();
}

// A packet taken from the client or sent to it, as its row describes it.
void WritePacket(JsonLine& line, const ConnectionEvent& event, const PacketDescription& packet,
                 const EventContext& context) {
  const ConnectionRecord& connection = *event.Connection;
  const bool in = event.Kind == EventKind::kPacketIn;
  line.Text("dir", in ? "in" : "out");
  if (packet.Kind == PacketKind::kPacket) {
    line.Id("id", in ? event.Id
                     : static_cast<std::uint16_t>(
                           event.Bytes.size() < 2 ? 0 : event.Bytes[0] | event.Bytes[1] << 8));
  }
  line.Text("name", packet.Name);
  line.Number("length", in && event.Length > 0 ? event.Length
                                               : static_cast<std::int64_t>(event.Bytes.size()));
  // The account echo has no role of its own: it goes ahead of the reply to
  // the packet being handled.
  const PacketRole role = packet.Kind == PacketKind::kEcho ? context.EchoRole : packet.Role;
  line.Text("role", RoleName(role));
  if (role == PacketRole::kMap) line.Number("version", connection.PacketVersion);
  const VersionEntry* version = context.Packets != nullptr
                                    ? FindVersion(*context.Packets, connection.PacketVersion)
                                    : nullptr;
  WriteFields(line, RenderPacket(packet, event.Bytes, version, connection.PacketVersion).Values);
  line.Hex("hex", event.Bytes);
  if (in && context.HandledShort) line.Bool("short", true);
}

// The row that reads a packet of the stream; nullptr for an id no case
// knows, which its own event tells.
const PacketDescription* RowOf(const ConnectionEvent& event) {
  if (event.Kind == EventKind::kPacketOut) {
    return event.Packet != nullptr ? event.Packet : &kUnknownPacket;
  }
  if (event.Case != nullptr) return event.Case;
  return event.Id == kNoPacket.Id ? &kNoPacket : nullptr;
}

}  // namespace

std::string UtcText(std::int64_t unixMs) {
  using namespace std::chrono;
  const sys_time<milliseconds> time{milliseconds(unixMs)};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  char text[32];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

void BeginLine(JsonLine& line, std::string_view name, const LineTime& time,
               const ConnectionRecord* about) {
  line.Text("event", name);
  line.Text("time", UtcText(time.UnixMs));
  line.Number("ms", time.Ms);
  if (about == nullptr) return;
  line.Number("conn", static_cast<std::int64_t>(about->Conversation));
  line.Text("peer", FormatEndpoint(EndpointOf(about->PeerAddress)));
}

std::string_view MilestoneName(Milestone step) {
  switch (step) {
    case Milestone::kPreLogin:
      return "pre-login";
    case Milestone::kLogin:
      return "login";
    case Milestone::kCharacters:
      return "characters";
    case Milestone::kSelect:
      return "select";
    case Milestone::kMap:
      return "map";
    case Milestone::kLoaded:
      break;
  }
  return "loaded";
}

bool AppendEventLine(std::string& out, const ConnectionEvent& event, const LineTime& time,
                     const EventContext& context) {
  const ConnectionRecord* about = event.Connection;
  const auto begin = [&](JsonLine& line, std::string_view name) {
    BeginLine(line, name, time, about);
  };
  switch (event.Kind) {
    case EventKind::kAccepted: {
      JsonLine line(out);
      begin(line, "accepted");
      line.End();
      return true;
    }
    case EventKind::kClosed: {
      JsonLine line(out);
      begin(line, "closed");
      line.Text("by", CloseName(event.How));
      line.End();
      return true;
    }
    case EventKind::kPacketIn:
    case EventKind::kPacketOut: {
      const PacketDescription* packet = RowOf(event);
      if (packet == nullptr || about == nullptr) return false;
      JsonLine line(out);
      begin(line, "packet");
      WritePacket(line, event, *packet, context);
      line.End();
      return true;
    }
    case EventKind::kUnknown: {
      JsonLine line(out);
      begin(line, "unknown");
      line.Id("id", event.Id);
      line.Number("length", static_cast<std::int64_t>(event.Bytes.size()));
      line.Hex("hex", event.Bytes);
      line.End();
      return true;
    }
    case EventKind::kDropped: {
      JsonLine line(out);
      begin(line, "dropped");
      line.Number("bytes", static_cast<std::int64_t>(event.Bytes.size()));
      line.Text("why", event.Text);
      line.Hex("hex", event.Bytes);
      line.End();
      return true;
    }
    case EventKind::kMilestone: {
      JsonLine line(out);
      begin(line, "milestone");
      line.Text("step", MilestoneName(event.Step));
      line.Bool("first", event.FirstTime);
      if (event.Step == Milestone::kMap && about != nullptr) {
        line.Number("version", about->PacketVersion);
      }
      line.End();
      return true;
    }
    case EventKind::kDetectFailed: {
      JsonLine line(out);
      begin(line, "detect-failed");
      if (about != nullptr) {
        line.Id("id", about->FirstPacketId);
        line.Number("version", about->PacketVersion);
      }
      line.End();
      return true;
    }
    case EventKind::kOutcome: {
      JsonLine line(out);
      begin(line, "command");
      if (!context.Command.empty()) line.Text("name", context.Command);
      line.Text("text", event.Text);
      line.End();
      return true;
    }
    case EventKind::kCaptureStarted:
    case EventKind::kCaptureClosed:
    case EventKind::kCaptureStopped: {
      JsonLine line(out);
      begin(line, "capture");
      line.Text("state", event.Kind == EventKind::kCaptureStarted  ? "started"
                         : event.Kind == EventKind::kCaptureClosed ? "closed"
                                                                   : "failed");
      line.Text(event.Kind == EventKind::kCaptureStopped ? "why" : "file", event.Text);
      line.End();
      return true;
    }
    case EventKind::kWarning:
    case EventKind::kTextCut: {
      JsonLine line(out);
      begin(line, "warning");
      line.Text("text", event.Kind == EventKind::kWarning ? event.Text : DesignedLine(event));
      line.End();
      return true;
    }
    default:
      return false;
  }
}

}  // namespace quib
