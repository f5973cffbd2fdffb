#include "journal/journal_lines.h"

#include <array>
#include <cstring>

#include "base/byte_order.h"
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
    case CloseKind::kServerReset:
      return "server-reset";
    case CloseKind::kGivenUp:
      break;
  }
  return "given-up";
}

// The packet's fields as the dissector names them, written as they are
// read. A name that comes again is numbered: "value", "value_2".
class JsonFields final : public FieldSink {
 public:
  explicit JsonFields(JsonLine& line) : line_(line) {}

  void Int(std::string_view name, std::uint32_t value) override { Put(name, value); }
  void Text(std::string_view name, std::span<const std::uint8_t> bytes) override {
    Key(name);
    line_.Latin1Value(bytes);
  }
  void Address(std::string_view name, std::span<const std::uint8_t> bytes) override {
    Key(name);
    line_.Raw("\"");
    line_.Address(bytes);
    line_.Raw("\"");
  }
  void Cell(std::string_view, std::int64_t x, std::int64_t y) override {
    Put("x", x);
    Put("y", y);
  }
  void Move(std::string_view, std::int64_t fromX, std::int64_t fromY, std::int64_t x,
            std::int64_t y) override {
    Put("from_x", fromX);
    Put("from_y", fromY);
    Put("x", x);
    Put("y", y);
  }
  void Bytes(std::string_view name, std::int64_t count) override { Put(name, count); }
  void Entries(std::string labels, std::int64_t count) override {
    Key("entries");
    line_.TextValue(labels);
    Put("entry_count", count);
  }

 private:
  void Key(std::string_view name) {
    int repeat = 1;
    for (std::size_t i = 0; i < count_; ++i) repeat += seen_[i] == name ? 1 : 0;
    if (count_ < seen_.size()) seen_[count_++] = name;
    line_.Name(name, repeat);
  }
  void Put(std::string_view name, std::int64_t value) {
    Key(name);
    line_.NumberValue(value);
  }

  JsonLine& line_;
  std::array<std::string_view, 16> seen_{};  // the names written, in order
  std::size_t count_ = 0;
};

// A packet taken from the client or sent to it, as its row describes it.
void WritePacket(JsonLine& line, const ConnectionEvent& event, const PacketDescription& packet,
                 const EventContext& context) {
  const ConnectionRecord& connection = *event.Connection;
  const bool in = event.Kind == EventKind::kPacketIn;
  line.Word("dir", in ? "in" : "out");
  if (packet.Kind == PacketKind::kPacket) {
    line.Id("id", in ? event.Id
                     : static_cast<std::uint16_t>(
                           event.Bytes.size() < 2 ? 0 : event.Bytes[0] | event.Bytes[1] << 8));
  }
  line.Word("name", packet.Name);
  line.Number("length", in && event.Length > 0 ? event.Length
                                               : static_cast<std::int64_t>(event.Bytes.size()));
  // The account echo has no role of its own: it goes ahead of the reply to
  // the packet being handled.
  const PacketRole role = packet.Kind == PacketKind::kEcho ? context.EchoRole : packet.Role;
  line.Word("role", RoleName(role));
  if (role == PacketRole::kMap) line.Number("version", connection.PacketVersion);
  const VersionEntry* version = context.Packets != nullptr
                                    ? FindVersion(*context.Packets, connection.PacketVersion)
                                    : nullptr;
  line.Open("fields");
  JsonFields fields(line);
  ReadPacketFields(packet, event.Bytes, version, fields);
  line.Close();
  line.Hex("hex", event.Bytes);
  if (in && context.HandledShort) line.Bool("short", true);
  if (event.Injected) line.Bool("injected", true);
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

void UtcText(std::int64_t unixMs, std::array<char, 24>& text) {
  // The civil date of a day count (days since 1970-01-01), by eras of 400
  // years, as the proleptic Gregorian calendar has it.
  const std::int64_t ms = (unixMs % 86400000 + 86400000) % 86400000;
  const std::int64_t days = (unixMs - ms) / 86400000 + 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shifted = (5 * dayOfYear + 2) / 153;  // the month, from March
  const std::int64_t day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const std::int64_t month = shifted < 10 ? shifted + 3 : shifted - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  std::memcpy(text.data(), "0000-00-00T00:00:00.000Z", text.size());
  const auto put = [&text](std::size_t at, std::int64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) {
      text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    }
  };
  put(0, year, 4);
  put(5, month, 2);
  put(8, day, 2);
  put(11, ms / 3600000, 2);
  put(14, ms / 60000 % 60, 2);
  put(17, ms / 1000 % 60, 2);
  put(20, ms % 1000, 3);
}

LineTime::LineTime(std::int64_t unixMs, std::int64_t sinceStart, LineTime* last)
    : UnixMs(unixMs), Ms(sinceStart) {
  // The date and the second are made again only when the second changes.
  if (last != nullptr && unixMs / 1000 == last->UnixMs / 1000 && unixMs >= 0 && last->UnixMs >= 0) {
    Utc = last->Utc;
    const auto ms = unixMs % 1000;
    Utc[20] = static_cast<char>('0' + ms / 100);
    Utc[21] = static_cast<char>('0' + ms / 10 % 10);
    Utc[22] = static_cast<char>('0' + ms % 10);
  } else {
    UtcText(unixMs, Utc);
  }
  if (last != nullptr) *last = *this;
}

void BeginLine(JsonLine& line, std::string_view name, const LineTime& time,
               const ConnectionRecord* about, PeerFields* cache) {
  line.Word("event", name);
  line.Name("time");
  line.Raw("\"");
  line.Raw(std::string_view(time.Utc.data(), time.Utc.size()));
  line.Raw("\"");
  line.Number("ms", time.Ms);
  if (about == nullptr) return;
  if (cache != nullptr && !cache->Text.empty() && cache->Conversation == about->Conversation) {
    line.Raw(cache->Text);
    return;
  }
  std::string text;
  {
    JsonLine fields(text);
    fields.Number("conn", static_cast<std::int64_t>(about->Conversation));
    // The address as it travels, in network byte order.
    const Endpoint peer = EndpointOf(about->PeerAddress);
    std::uint8_t address[4];
    StoreBig32(address, peer.Address);
    fields.Name("peer");
    fields.Raw("\"");
    fields.Address(address);
    fields.Raw(":");
    fields.NumberValue(peer.Port);
    fields.Raw("\"");
  }
  text.erase(0, 1);  // the other line's "{"
  line.Raw(",");
  line.Raw(text);
  if (cache != nullptr) {
    cache->Conversation = about->Conversation;
    cache->Text = "," + text;
  }
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
    BeginLine(line, name, time, about, context.Peer);
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
      line.Word("by", CloseName(event.How));
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
      line.Word("step", MilestoneName(event.Step));
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
    case EventKind::kFault: {
      JsonLine line(out);
      begin(line, "fault");
      line.Number("fault", event.Fault);
      line.Id("id", event.Id);
      line.Text("text", event.Text);
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
