// The dissector's tables, written at build time from the server's own
// description of the protocol:
//   quib_generate_tables FILE
// writes FILE, quib_tables.lua.inc, which quib.lua loads from its own folder:
// the packets of each side (protocol/packet_descriptions.h), the detection
// table (packetdb/version_detection.cpp), the nine member names and the
// places of packet_db.txt (packetdb/). The file's name does not end in
// ".lua", so Wireshark does not take it for a plugin of its own; run all the
// same, it only returns the tables.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "packetdb/packet_database.h"
#include "packetdb/packet_database_places.h"
#include "packetdb/version_detection.h"
#include "protocol/packet_descriptions.h"

namespace quib {
namespace {

// A Lua string literal.
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      quoted += '\\';
      quoted += std::to_string(byte);
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string Hex(std::uint32_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", id);
  return text;
}

const char* ReadingName(FieldReading reading) {
  switch (reading) {
    case FieldReading::kInt:
      return "int";
    case FieldReading::kText:
      return "text";
    case FieldReading::kAddress:
      return "address";
    case FieldReading::kCell:
      return "cell";
    case FieldReading::kMove:
      return "move";
    case FieldReading::kBytes:
      return "bytes";
    case FieldReading::kEntries:
      return "entries";
  }
  return "bytes";
}

// {field, reading, offset or "p<slot>", width or "rest", name = ..., entry = {...}}
std::string Layout(std::span<const PacketField> layout) {
  std::ostringstream text;
  text << "{";
  for (const PacketField& field : layout) {
    text << (&field == layout.data() ? "{" : ", {") << Quoted(field.Field) << ", "
         << Quoted(ReadingName(field.Reading)) << ", ";
    if (field.FromSlot) {
      text << "\"p" << field.Offset << "\"";
    } else {
      text << field.Offset;
    }
    text << ", ";
    if (field.Width == kRest) {
      text << "\"rest\"";
    } else {
      text << field.Width;
    }
    if (field.Name != nullptr) text << ", name = " << Quoted(field.Name);
    if (field.Entries != nullptr) {
      text << ", entry = {layout = " << Layout(field.Entries->Fields)
           << ", label = " << Quoted(field.Entries->Label)
           << ", name = " << Quoted(field.Entries->Name) << "}";
    }
    text << "}";
  }
  text << "}";
  return text.str();
}

// One packet: id (or member), length ("field": the total at offset 2; 0: it
// takes everything held; none: the version's entry), name, layout, Info and
// the flags the dissector's framing reads; `role` for a login or character
// packet, which is no map login; `opens` for a packet a client opens a
// connection with, by which the dissector tells the protocol on any port.
std::string Row(const PacketDescription& packet, bool role = false) {
  std::ostringstream text;
  const char* separator = "{";
  const auto field = [&](const char* name) -> std::ostream& {
    text << separator << name << " = ";
    separator = ", ";
    return text;
  };
  if (packet.Entry != nullptr) {
    field("member") << Quoted(PacketMemberName(packet.Entry));
  } else if (packet.Kind == PacketKind::kPacket) {
    field("id") << Hex(packet.Id);
  }
  switch (packet.Length) {
    case LengthRule::kFixed:
      field("length") << packet.FixedLength;
      break;
    case LengthRule::kLengthField:
      field("length") << "\"field\"";
      break;
    case LengthRule::kAll:
      if (packet.Kind == PacketKind::kPacket) field("length") << 0;
      break;
    case LengthRule::kEntry:
      break;
  }
  field("name") << Quoted(packet.Name);
  if (!packet.Layout.empty()) field("layout") << Layout(packet.Layout);
  if (*packet.Info != '\0') field("info") << Quoted(packet.Info);
  if (packet.Closes) field("closes") << "true";
  if (packet.OwesEcho) field("echo") << "true";
  if (packet.FollowsEcho) field("after_echo") << "true";
  if (role) field("role") << "true";
  if (std::ranges::find(kOpeningPackets, &packet) != std::end(kOpeningPackets)) {
    field("opens") << "true";
  }
  text << "}";
  return text.str();
}

std::string Tables() {
  std::ostringstream lua;
  lua << "-- quib_tables.lua.inc: the dissector's tables, written at build time by\n"
         "-- quib_generate_tables from the server's own description of the protocol\n"
         "-- (protocol/packet_descriptions.h, packetdb/). Do not edit: edit those.\n"
         "-- quib.lua loads it from its own folder; Wireshark loads no plugin from it\n"
         "-- (its name does not end in .lua), and run it only returns the tables.\n"
         "return {\n";

  lua << "  -- The nine map packets packet_db.txt names.\n  MEMBERS = {";
  for (const PacketMember& member : kPacketMembers) {
    lua << (&member == kPacketMembers ? "" : ", ") << Quoted(member.Name);
  }
  lua << "},\n";

  lua << "  -- Where packet_db.txt is, relative to the program's folder, in the order looked.\n"
         "  PACKET_DB = {";
  for (const std::string_view place : kPacketDatabasePlaces) {
    lua << (place == kPacketDatabasePlaces[0] ? "" : ", ") << Quoted(place);
  }
  lua << "},\n";

  lua << "  -- How a version is told: [map login id] = {[bytes it came in] = version}.\n"
         "  DETECTION = {";
  std::vector<std::int32_t> ids;  // in the order of their first row
  for (const DetectionRow& row : DetectionTable()) {
    if (std::find(ids.begin(), ids.end(), row.PacketId) != ids.end()) continue;
    ids.push_back(row.PacketId);
    lua << (ids.size() > 1 ? ",\n    " : "\n    ") << "["
        << Hex(static_cast<std::uint32_t>(row.PacketId)) << "] = {";
    bool first = true;
    for (const DetectionRow& size : DetectionTable()) {
      if (size.PacketId != row.PacketId) continue;
      lua << (first ? "" : ", ") << "[" << size.BytesReceived << "] = " << size.Version;
      first = false;
    }
    lua << "}";
  }
  lua << "},\n";

  lua << "  -- Every packet the client sends, in the order the server tests ids.\n"
         "  CLIENT = {\n    "
      << Row(kNoPacket);
  for (const PacketDescription* packet : kClientPackets) {
    lua << ",\n    " << Row(*packet, packet->Role != PacketRole::kMap);
  }
  lua << "},\n";

  lua << "  -- Every packet the server sends.\n  SERVER = {";
  for (const PacketDescription* packet : kServerPackets) {
    lua << (packet == kServerPackets[0] ? "\n    " : ",\n    ") << Row(*packet);
  }
  lua << "},\n";

  lua << "  ECHO = " << Row(kAccountEcho) << ",\n"
      << "  UNKNOWN = " << Row(kUnknownPacket) << ",\n"
      << "  DROPPED = " << Row(kDroppedBytes) << ",\n"
      << "  WHY = {behind = " << Quoted(kDroppedBehindUnknown)
      << ", closed = " << Quoted(kDroppedAfterClose) << "},\n"
      << "}\n";
  return lua.str();
}

}  // namespace
}  // namespace quib

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quib_generate_tables FILE\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << quib::Tables();
  out.close();
  if (!out) {
    std::cerr << "quib_generate_tables: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
