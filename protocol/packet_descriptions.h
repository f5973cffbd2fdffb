// One description of the protocol: every packet the client sends that the
// server knows, in the order dispatch tests them, every packet the server
// sends, and what a capture shows besides (the account echo, an unknown id,
// bytes the server drops unread). A row is a packet's id (or the packet
// database member that gives it), its name as the capture's comments and the
// dissector give it, how its length is known, its role, and its layout: the
// fields the dissector shows, and the Info text it makes of them.
//
// Read by dispatch and framing (packet_cases.cpp pairs each row with its
// branch), by the code that builds the replies (their ids), by the capture's
// comments, by the renderer (packet_rendering.h), and by the dissector, whose
// tables dissector/generator/generate_tables.cpp writes from these at build
// time.
// Adding a packet is adding a row here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

#include "packetdb/packet_database.h"

namespace quib {

// How a packet's length is known.
enum class LengthRule : std::uint8_t {
  kFixed,        // the row's own FixedLength
  kEntry,        // the Length of the version's entry
  kLengthField,  // the unsigned 16-bit field at offset 2: the whole packet, head included
  kAll,          // none: everything held goes with it
};

// The role a packet belongs to. Login and character packets never say which
// map version a client speaks.
enum class PacketRole : std::uint8_t { kLogin, kCharacter, kMap };

// What a row describes.
enum class PacketKind : std::uint8_t {
  kPacket,   // a packet with its id, shown as "0x0085 Walk"
  kEcho,     // the 4 bytes of account id with no id of their own: "Account echo"
  kUnknown,  // an id no case knows: "Unknown packet 0x0436"
  kDropped,  // bytes the server drops unread: "Dropped"
};

// How a field's bytes read.
enum class FieldReading : std::uint8_t {
  kInt,      // unsigned, little-endian
  kText,     // one character a byte, up to the first zero byte
  kAddress,  // an IPv4 address in network byte order
  kCell,     // a cell packed in 3 bytes, 10 bits each for x and y
  kMove,     // a move packed in 5 bytes: from one cell to another
  kBytes,    // the bytes as they are; their count is the value
  kEntries,  // entries of one layout, repeated up to the packet's end
};

// A width: up to the end of the packet.
inline constexpr std::int16_t kRest = -1;

struct EntryLayout;

// One field the dissector shows. Its value is called Name in Info texts
// ("{type}"), or Field when there is no Name.
struct PacketField {
  const char* Field = "";  // quib.<Field>; a cell or a move shows as quib.x and quib.y
  FieldReading Reading = FieldReading::kInt;
  std::int16_t Offset = 0;  // from the packet's start; with FromSlot, a Positions slot ("p0")
  bool FromSlot = false;    // the offset is in that slot of the version's entry
  std::int16_t Width = 0;   // in bytes, or kRest; for entries, one entry's
  const char* Name = nullptr;
  const EntryLayout* Entries = nullptr;  // for FieldReading::kEntries
};

// Each of a packet's repeated entries.
struct EntryLayout {
  std::span<const PacketField> Fields;
  const char* Label;  // each entry's text, from its values as in Info
  const char* Name;   // what one entry is
};

struct PacketDescription {
  std::uint16_t Id = 0;                        // the fixed id; unused when Entry is set
  PacketEntry VersionEntry::*Entry = nullptr;  // the database member that gives id and length
  LengthRule Length = LengthRule::kFixed;
  std::int32_t FixedLength = 0;  // for LengthRule::kFixed
  const char* Name = "";         // as the capture and the dissector name it
  PacketRole Role = PacketRole::kMap;
  std::span<const PacketField> Layout = {};
  // What Info shows after the name, values by name in braces: " to {cell}".
  // "{version}" is the connection's packet version, "{why}" why bytes were dropped.
  const char* Info = "";
  bool Closes = false;       // from the client: the server closes the connection after it
  bool OwesEcho = false;     // from the client: the account echo comes ahead of its reply
  bool FollowsEcho = false;  // from the server: the account echo may come ahead of it
  PacketKind Kind = PacketKind::kPacket;
};

// The fields, as rows write them: Int("slot", 2, 1), Text("text", Slot(1), kRest).
namespace describe {

struct At {
  constexpr At(int offset) : Offset(static_cast<std::int16_t>(offset)) {}
  std::int16_t Offset;
  bool FromSlot = false;
};
constexpr At Slot(int slot) {
  At at(slot);
  at.FromSlot = true;
  return at;
}

constexpr PacketField Read(const char* field, FieldReading reading, At at, int width,
                           const char* name = nullptr) {
  return {field, reading, at.Offset, at.FromSlot, static_cast<std::int16_t>(width), name, nullptr};
}
constexpr PacketField Int(const char* field, At at, int width, const char* name = nullptr) {
  return Read(field, FieldReading::kInt, at, width, name);
}
constexpr PacketField Text(const char* field, At at, int width) {
  return Read(field, FieldReading::kText, at, width);
}
constexpr PacketField Address(At at) { return Read("address", FieldReading::kAddress, at, 4); }
constexpr PacketField Port(At at) { return Int("port", at, 2); }
constexpr PacketField Cell(At at) { return Read("cell", FieldReading::kCell, at, 3); }
constexpr PacketField Move(At at) { return Read("move", FieldReading::kMove, at, 5); }
constexpr PacketField Length() { return Int("length", 2, 2); }
constexpr PacketField AllBytes() { return Read("bytes", FieldReading::kBytes, 0, kRest); }
// Bytes the server always sends as zeros, shown apart from the fields before them.
constexpr PacketField Padding(At at, int width) {
  return Read("padding", FieldReading::kBytes, at, width);
}
constexpr PacketField Entries(At at, int width, const EntryLayout& entries) {
  PacketField field = Read("entries", FieldReading::kEntries, at, width);
  field.Entries = &entries;
  return field;
}

// The layouts, one per packet that has one.
inline constexpr PacketField kCharConnect[] = {Int("account_id", 2, 4)};
inline constexpr PacketField kCharacterSelect[] = {Int("slot", 2, 1)};
inline constexpr PacketField kChat[] = {Length(), Text("text", Slot(1), kRest)};
inline constexpr PacketField kEmotion[] = {Int("emotion", 2, 1)};
inline constexpr PacketField kSndOriDori[] = {Int("value", 4, 2), Int("value", 9, 1)};
inline constexpr PacketField kWalk[] = {Cell(Slot(0))};
inline constexpr PacketField kRestart[] = {Int("value", Slot(0), 1, "type")};

inline constexpr PacketField kServerEntry[] = {Address(0), Port(4), Text("text", 6, 20),
                                               Int("count", 26, 2)};
inline constexpr EntryLayout kServerEntries{kServerEntry, "{text} {address}:{port}, {count} users",
                                            "Server"};
inline constexpr PacketField kServerList[] = {Length(), Int("account_id", 8, 4),
                                              Entries(47, 32, kServerEntries)};
inline constexpr PacketField kCharacterEntry[] = {Int("character_id", 0, 4), Text("text", 74, 24),
                                                  Int("slot", 104, 1)};
inline constexpr EntryLayout kCharacterEntries{
    kCharacterEntry, "{text}, id {character_id}, slot {slot}", "Character"};
inline constexpr PacketField kCharacterList[] = {Length(), Entries(24, 106, kCharacterEntries)};
inline constexpr PacketField kCreateRefused[] = {Int("value", 2, 1)};
inline constexpr PacketField kDeleteRefused[] = {Int("value", 2, 2)};
inline constexpr PacketField kMapServer[] = {Int("character_id", 2, 4), Text("map", 6, 16),
                                             Address(22), Port(26)};
inline constexpr PacketField kMapLoginReply[] = {Int("tick", 2, 4), Cell(6)};
inline constexpr PacketField kTickReply[] = {Int("tick", 2, 4)};
inline constexpr PacketField kWalkReply[] = {Int("tick", 2, 4), Move(6)};
inline constexpr PacketField kChatLine[] = {Length(), Int("character_id", 4, 4),
                                            Text("text", 8, kRest)};
inline constexpr PacketField kMapChange[] = {Text("map", 2, 16), Int("x", 18, 2), Int("y", 20, 2),
                                             Padding(22, 4)};
inline constexpr PacketField kSndOriDoriReply[] = {Int("character_id", 2, 4), Int("value", 6, 2),
                                                   Int("value", 8, 1)};
inline constexpr PacketField kStatusList[] = {Length()};
inline constexpr PacketField kStatus[] = {Int("value", 2, 2, "type"), Int("value", 4, 4)};
inline constexpr PacketField kRestartReply[] = {Int("value", 2, 1, "type")};
inline constexpr PacketField kEmotionReply[] = {Int("account_id", 2, 4), Int("emotion", 6, 1)};
inline constexpr PacketField kUserCount[] = {Int("count", 2, 4)};
inline constexpr PacketField kAccountEcho[] = {Int("account_id", 0, 4)};
inline constexpr PacketField kBytes[] = {AllBytes()};

}  // namespace describe

// --- What the client sends ------------------------------------------------------

// Id 0 is no packet: no case runs for it (the handler skips it before
// dispatch), and the dissector tests it before every case.
inline constexpr PacketDescription kNoPacket{
    .Id = 0x0000, .Length = LengthRule::kAll, .Name = "Ignored"};

inline constexpr PacketDescription kLoginPreRequest{
    .Id = 0x0200, .FixedLength = 26, .Name = "Login pre-request", .Role = PacketRole::kLogin};
inline constexpr PacketDescription kLoginHashPreRequest{
    .Id = 0x0204, .FixedLength = 18, .Name = "Login pre-request", .Role = PacketRole::kLogin};
inline constexpr PacketDescription kLoginRequest{.Id = 0x0064,
                                                 .FixedLength = 55,
                                                 .Name = "Login request",
                                                 .Role = PacketRole::kLogin,
                                                 .Closes = true};
inline constexpr PacketDescription kLoginHashRequest{.Id = 0x01DD,
                                                     .FixedLength = 55,
                                                     .Name = "Login request",
                                                     .Role = PacketRole::kLogin,
                                                     .Closes = true};
inline constexpr PacketDescription kCharServerMarker{.Id = 0x020B,
                                                     .FixedLength = 19,
                                                     .Name = "Character server marker",
                                                     .Role = PacketRole::kCharacter};
inline constexpr PacketDescription kCharConnect{.Id = 0x0065,
                                                .FixedLength = 17,
                                                .Name = "Character connect",
                                                .Role = PacketRole::kCharacter,
                                                .Layout = describe::kCharConnect,
                                                .Info = ": account {account_id}",
                                                .OwesEcho = true};
inline constexpr PacketDescription kCharPing{
    .Id = 0x0187, .FixedLength = 6, .Name = "Ignored", .Role = PacketRole::kCharacter};
inline constexpr PacketDescription kCharacterDelete{
    .Id = 0x0068, .FixedLength = 46, .Name = "Character delete", .Role = PacketRole::kCharacter};
inline constexpr PacketDescription kCharacterCreate{
    .Id = 0x0067, .FixedLength = 37, .Name = "Character create", .Role = PacketRole::kCharacter};
inline constexpr PacketDescription kCharacterSelect{.Id = 0x0066,
                                                    .FixedLength = 3,
                                                    .Name = "Character select",
                                                    .Role = PacketRole::kCharacter,
                                                    .Layout = describe::kCharacterSelect,
                                                    .Info = ": slot {slot}",
                                                    .Closes = true};
inline constexpr PacketDescription kMapLogin{.Entry = &VersionEntry::wanttoconnection,
                                             .Length = LengthRule::kEntry,
                                             .Name = "Map login",
                                             .Info = ": packet version {version}",
                                             .OwesEcho = true};
inline constexpr PacketDescription kMapIgnoredShort{
    .Id = 0x01C0, .FixedLength = 2, .Name = "Ignored"};
inline constexpr PacketDescription kMapLoaded{
    .Entry = &VersionEntry::loadendack, .Length = LengthRule::kEntry, .Name = "Map loaded"};
inline constexpr PacketDescription kTick{
    .Entry = &VersionEntry::ticksend, .Length = LengthRule::kEntry, .Name = "Tick"};
inline constexpr PacketDescription kMapIgnoredLong{
    .Id = 0x009B, .FixedLength = 14, .Name = "Ignored"};
inline constexpr PacketDescription kChat{.Entry = &VersionEntry::globalmessage,
                                         .Length = LengthRule::kLengthField,
                                         .Name = "Chat",
                                         .Layout = describe::kChat,
                                         .Info = ": {text}"};
inline constexpr PacketDescription kEmotion{.Entry = &VersionEntry::emotion,
                                            .Length = LengthRule::kEntry,
                                            .Name = "Emotion",
                                            .Layout = describe::kEmotion,
                                            .Info = " {emotion}"};
inline constexpr PacketDescription kSndOriDori{.Entry = &VersionEntry::sndoridori,
                                               .Length = LengthRule::kEntry,
                                               .Name = "Sndoridori",
                                               .Layout = describe::kSndOriDori};
inline constexpr PacketDescription kWalk{.Entry = &VersionEntry::walktoxy,
                                         .Length = LengthRule::kEntry,
                                         .Name = "Walk",
                                         .Layout = describe::kWalk,
                                         .Info = " to {cell}"};
inline constexpr PacketDescription kUserCountRequest{.Entry = &VersionEntry::howmanyconnections,
                                                     .Length = LengthRule::kEntry,
                                                     .Name = "User count request"};
inline constexpr PacketDescription kRestart{.Entry = &VersionEntry::restart,
                                            .Length = LengthRule::kEntry,
                                            .Name = "Restart",
                                            .Layout = describe::kRestart,
                                            .Info = ": type {type}"};

// Every packet of the client that a case knows, in the order dispatch tests
// them: the first match wins, so an id that a version shares with a fixed id
// goes to whichever row comes first.
inline constexpr const PacketDescription* kClientPackets[] = {
    &kLoginPreRequest,
    &kLoginHashPreRequest,
    &kLoginRequest,
    &kLoginHashRequest,
    &kCharServerMarker,
    &kCharConnect,
    &kCharPing,
    &kCharacterDelete,
    &kCharacterCreate,
    &kCharacterSelect,
    &kMapLogin,
    &kMapIgnoredShort,
    &kMapLoaded,
    &kTick,
    &kMapIgnoredLong,
    &kChat,
    &kEmotion,
    &kSndOriDori,
    &kWalk,
    &kUserCountRequest,
    &kRestart,
};

// The packets a client opens a connection with, in each role. A conversation
// on any port whose first client bytes are one of them, at a size the
// protocol or packet_db.txt lists for it, is this protocol: the dissector
// tells it so without being told the port.
inline constexpr const PacketDescription* kOpeningPackets[] = {
    &kLoginPreRequest,  &kLoginHashPreRequest, &kLoginRequest,
    &kLoginHashRequest, &kCharConnect,         &kMapLogin,
};

// --- What the server sends ------------------------------------------------------

inline constexpr PacketDescription kServerList{.Id = 0x0069,
                                               .Length = LengthRule::kLengthField,
                                               .Name = "Server list",
                                               .Role = PacketRole::kLogin,
                                               .Layout = describe::kServerList,
                                               .Info = ": {entries}"};
inline constexpr PacketDescription kCharacterList{.Id = 0x006B,
                                                  .Length = LengthRule::kLengthField,
                                                  .Name = "Character list",
                                                  .Role = PacketRole::kCharacter,
                                                  .Layout = describe::kCharacterList,
                                                  .Info = ": {entry_count} characters",
                                                  .FollowsEcho = true};
inline constexpr PacketDescription kConnectRefused{
    .Id = 0x006C, .FixedLength = 4, .Name = "Connect refused", .Role = PacketRole::kCharacter};
inline constexpr PacketDescription kCreateRefused{.Id = 0x006E,
                                                  .FixedLength = 3,
                                                  .Name = "Create refused",
                                                  .Role = PacketRole::kCharacter,
                                                  .Layout = describe::kCreateRefused,
                                                  .Info = ": code {value}"};
inline constexpr PacketDescription kDeleteRefused{.Id = 0x0070,
                                                  .FixedLength = 4,
                                                  .Name = "Delete refused",
                                                  .Role = PacketRole::kCharacter,
                                                  .Layout = describe::kDeleteRefused,
                                                  .Info = ": code {value}"};
inline constexpr PacketDescription kMapServer{
    .Id = 0x0071,
    .FixedLength = 28,
    .Name = "Map server",
    .Role = PacketRole::kCharacter,
    .Layout = describe::kMapServer,
    .Info = ": {map} at {address}:{port}, character {character_id}"};
inline constexpr PacketDescription kMapLoginReply{.Id = 0x0073,
                                                  .FixedLength = 11,
                                                  .Name = "Map login reply",
                                                  .Layout = describe::kMapLoginReply,
                                                  .Info = " at {cell}",
                                                  .FollowsEcho = true};
inline constexpr PacketDescription kTickReply{.Id = 0x007F,
                                              .FixedLength = 6,
                                              .Name = "Tick reply",
                                              .Layout = describe::kTickReply,
                                              .Info = ": {tick}"};
inline constexpr PacketDescription kWalkReply{.Id = 0x0087,
                                              .FixedLength = 12,
                                              .Name = "Walk reply",
                                              .Layout = describe::kWalkReply,
                                              .Info = " {move}"};
inline constexpr PacketDescription kChatLine{.Id = 0x008D,
                                             .Length = LengthRule::kLengthField,
                                             .Name = "Chat line",
                                             .Layout = describe::kChatLine,
                                             .Info = ": {text}"};
inline constexpr PacketDescription kMapChange{.Id = 0x0091,
                                              .FixedLength = 26,
                                              .Name = "Map change",
                                              .Layout = describe::kMapChange,
                                              .Info = ": {map} ({x}, {y})"};
inline constexpr PacketDescription kSndOriDoriReply{.Id = 0x009C,
                                                    .FixedLength = 9,
                                                    .Name = "Sndoridori reply",
                                                    .Layout = describe::kSndOriDoriReply};
inline constexpr PacketDescription kStatusListFirst{.Id = 0x00A3,
                                                    .Length = LengthRule::kLengthField,
                                                    .Name = "Status list",
                                                    .Layout = describe::kStatusList};
inline constexpr PacketDescription kStatusListSecond{.Id = 0x00A4,
                                                     .Length = LengthRule::kLengthField,
                                                     .Name = "Status list",
                                                     .Layout = describe::kStatusList};
inline constexpr PacketDescription kStatus{.Id = 0x00B0,
                                           .FixedLength = 8,
                                           .Name = "Status",
                                           .Layout = describe::kStatus,
                                           .Info = ": type {type}, value {value}"};
inline constexpr PacketDescription kRestartReply{.Id = 0x00B3,
                                                 .FixedLength = 3,
                                                 .Name = "Restart reply",
                                                 .Layout = describe::kRestartReply,
                                                 .Info = ": type {type}"};
inline constexpr PacketDescription kEmotionReply{.Id = 0x00C0,
                                                 .FixedLength = 7,
                                                 .Name = "Emotion reply",
                                                 .Layout = describe::kEmotionReply,
                                                 .Info = " {emotion} from account {account_id}"};
inline constexpr PacketDescription kUserCount{.Id = 0x00C2,
                                              .FixedLength = 6,
                                              .Name = "User count",
                                              .Layout = describe::kUserCount,
                                              .Info = ": {count}"};

// Every packet the server sends that has an id.
inline constexpr const PacketDescription* kServerPackets[] = {
    &kServerList,   &kCharacterList,   &kConnectRefused,  &kCreateRefused,    &kDeleteRefused,
    &kMapServer,    &kMapLoginReply,   &kTickReply,       &kWalkReply,        &kChatLine,
    &kMapChange,    &kSndOriDoriReply, &kStatusListFirst, &kStatusListSecond, &kStatus,
    &kRestartReply, &kEmotionReply,    &kUserCount,
};

// --- What a capture shows besides ---------------------------------------------------

// The 4 bytes of account id that come ahead of the character list and the
// map login's reply, with no packet id.
inline constexpr PacketDescription kAccountEcho{.FixedLength = 4,
                                                .Name = "Account echo",
                                                .Layout = describe::kAccountEcho,
                                                .Info = ": {account_id}",
                                                .Kind = PacketKind::kEcho};
// An id no case knows: the server drops it with everything it holds.
inline constexpr PacketDescription kUnknownPacket{.Length = LengthRule::kAll,
                                                  .Name = "Unknown packet",
                                                  .Layout = describe::kBytes,
                                                  .Kind = PacketKind::kUnknown};
// Bytes the server drops unread, and why.
inline constexpr PacketDescription kDroppedBytes{.Length = LengthRule::kAll,
                                                 .Name = "Dropped",
                                                 .Layout = describe::kBytes,
                                                 .Info = ": {bytes} bytes, {why}",
                                                 .Kind = PacketKind::kDropped};
// Why: the bytes behind a packet that empties the buffer (an unknown id, the
// map loaded that ends a reload), which go with it; what a client sends
// after the server closed its connection; the rest of a packet longer than
// the buffer; and what was buffered when the client stopped reading.
inline constexpr const char* kDroppedBehindUnknown = "with the packet before it";
inline constexpr const char* kDroppedAfterClose = "the server closed the connection";
inline constexpr const char* kDroppedPastBuffer = "the rest of a packet longer than the buffer";
inline constexpr const char* kDroppedGivenUp = "the client stopped reading its replies";

// Where each of them lies in kServerPackets, by id: every send finds its row
// and its name in a probe or two. Slots by the id's low bits, the next free
// one when that is taken.
struct ServerPacketSlot {
  std::uint16_t Id = 0;
  std::uint8_t Place = 0;
  bool Used = false;
};
inline constexpr std::size_t kServerPacketSlots = 64;
static_assert(std::size(kServerPackets) < kServerPacketSlots, "a slot stays free");
inline constexpr auto kServerPacketPlaces = [] {
  std::array<ServerPacketSlot, kServerPacketSlots> table{};
  for (std::size_t place = 0; place < std::size(kServerPackets); ++place) {
    std::size_t slot = kServerPackets[place]->Id % kServerPacketSlots;
    while (table[slot].Used) slot = (slot + 1) % kServerPacketSlots;
    table[slot] = {kServerPackets[place]->Id, static_cast<std::uint8_t>(place), true};
  }
  return table;
}();

// The place in kServerPackets of the packet the server sends with `id`; the
// table's size for any other id.
constexpr std::size_t ServerPacketPlace(std::uint16_t id) {
  for (std::size_t slot = id % kServerPacketSlots; kServerPacketPlaces[slot].Used;
       slot = (slot + 1) % kServerPacketSlots) {
    if (kServerPacketPlaces[slot].Id == id) return kServerPacketPlaces[slot].Place;
  }
  return std::size(kServerPackets);
}

// The row of the packet the server sends with `id`; nullptr for any other id.
constexpr const PacketDescription* FindServerPacket(std::uint16_t id) {
  const std::size_t place = ServerPacketPlace(id);
  return place < std::size(kServerPackets) ? kServerPackets[place] : nullptr;
}

}  // namespace quib
