// The character role.
//
// kConnectRefused (4 bytes):       0 id | 2 0
// kCharacterList (978 bytes):      0 id | 2 length | 4 zero (20)
//   | 24 + 106 * i entry for slot i, i = 0 to 8
// Character entry (106 bytes):
//   0 character id | 4 0 | 8 0 | 12 0 | 16 50 | 20..36 0 (4 each) | 40 0
//   | 42 32767 | 44 32767 | 46 32767 | 48 32767 | 50 50 | 52 i + 7 (16 for
//   slot 6) | 54 0 | 56 0 | 58 99 | 60..72 0 (2 each) | 74 name (24)
//   | 98..103 99 (1 each) | 104 slot | 105 0
// kDeleteRefused (4 bytes):        0 id | 2 1
// kCreateRefused (3 bytes):        0 id | 2 2 (1 byte)
// kMapServer (28 bytes):           0 id | 2 character id | 6 map name (16)
//   | 22 map address (network order) | 26 port
#include "protocol/char_server.h"

#include <string>

#include "protocol/connection_events.h"
#include "protocol/connection_record.h"
#include "protocol/packet_descriptions.h"
#include "protocol/packet_handler.h"
#include "protocol/protocol_host.h"

namespace quib {

namespace {

constexpr std::int32_t kMaxConnections = 1000;
constexpr std::int32_t kFirstCharacterId = 19000;
constexpr std::int32_t kCharacterCount = 9;
constexpr std::int32_t kListHead = 24;
constexpr std::int32_t kEntryLength = 106;

void WriteCharacterEntry(PacketBuffer& scratch, std::int32_t at, std::int32_t slot,
                         std::int32_t characterId) {
  WriteInt32(scratch, at + 0, static_cast<std::uint32_t>(characterId));
  WriteInt32(scratch, at + 4, 0);
  WriteInt32(scratch, at + 8, 0);
  WriteInt32(scratch, at + 12, 0);
  WriteInt32(scratch, at + 16, 50);
  WriteInt32(scratch, at + 20, 0);
  WriteInt32(scratch, at + 24, 0);
  WriteInt32(scratch, at + 28, 0);
  WriteInt32(scratch, at + 32, 0);
  WriteInt32(scratch, at + 36, 0);
  WriteInt16(scratch, at + 40, 0);
  WriteInt16(scratch, at + 42, 32767);
  WriteInt16(scratch, at + 44, 32767);
  WriteInt16(scratch, at + 46, 32767);
  WriteInt16(scratch, at + 48, 32767);
  WriteInt16(scratch, at + 50, 50);
  WriteInt16(scratch, at + 52, static_cast<std::uint16_t>(slot == 6 ? 16 : slot + 7));
  WriteInt16(scratch, at + 54, 0);
  WriteInt16(scratch, at + 56, 0);
  WriteInt16(scratch, at + 58, 99);
  WriteInt16(scratch, at + 60, 0);
  WriteInt16(scratch, at + 62, 0);
  WriteInt16(scratch, at + 64, 0);
  WriteInt16(scratch, at + 66, 0);
  WriteInt16(scratch, at + 68, 0);
  WriteInt16(scratch, at + 70, 0);
  WriteInt16(scratch, at + 72, 0);
  // Width 23 of the 24-byte field: its last byte always stays zero.
  WriteFixedString(scratch, at + 74, "Slot " + std::to_string(slot + 1), 23);
  WriteByte(scratch, at + 98, 99);
  WriteByte(scratch, at + 99, 99);
  WriteByte(scratch, at + 100, 99);
  WriteByte(scratch, at + 101, 99);
  WriteByte(scratch, at + 102, 99);
  WriteByte(scratch, at + 103, 99);
  WriteByte(scratch, at + 104, static_cast<std::uint8_t>(slot));
  WriteByte(scratch, at + 105, 0);
}

}  // namespace

void HandleCharServerMarker(ProtocolHost&, ConnectionRecord& connection, PacketBuffer&) {
  connection.State = kStateCharacter;
}

void HandleCharServerConnect(ProtocolHost& host, ConnectionRecord& connection,
                             PacketBuffer& scratch) {
  if (host.ConnectionCount() > kMaxConnections) {
    WriteInt16(scratch, 0, kConnectRefused.Id);
    WriteInt16(scratch, 2, 0);
    SendReply(host, connection, scratch, 4);
    ServerCloses(host, connection);
    return;
  }

  SendAccountEcho(host, connection, scratch, ReadInt32(connection.RecvBuffer, 2));

  WriteInt16(scratch, 0, kCharacterList.Id);
  WriteInt16(scratch, 2, static_cast<std::uint16_t>(kListHead + kCharacterCount * kEntryLength));
  for (std::int32_t slot = 0; slot < kCharacterCount; ++slot) {
    connection.CharacterId = kFirstCharacterId + slot;
    WriteCharacterEntry(scratch, kListHead + kEntryLength * slot, slot, connection.CharacterId);
  }
  SendReply(host, connection, scratch, static_cast<std::uint16_t>(ReadInt16(scratch, 2)));

  connection.State = kStateCharacter;
  TellMilestone(host, connection, Milestone::kCharacters);
}

void HandleCharacterDelete(ProtocolHost& host, ConnectionRecord& connection,
                           PacketBuffer& scratch) {
  WriteInt16(scratch, 0, kDeleteRefused.Id);
  WriteInt16(scratch, 2, 1);
  SendReply(host, connection, scratch, 4);
}

void HandleCharacterCreate(ProtocolHost& host, ConnectionRecord& connection,
                           PacketBuffer& scratch) {
  WriteInt16(scratch, 0, kCreateRefused.Id);
  WriteByte(scratch, 2, 2);
  SendReply(host, connection, scratch, 3);
}

void HandleCharacterSelect(ProtocolHost& host, ConnectionRecord& connection,
                           PacketBuffer& scratch) {
  connection.CharSlot = ReadByte(connection.RecvBuffer, 2);
  WriteInt16(scratch, 0, kMapServer.Id);
  WriteInt32(scratch, 2, static_cast<std::uint32_t>(kFirstCharacterId + connection.CharSlot));
  WriteFixedString(scratch, 6, host.MapName(), 16);
  WriteServerEndpoint(scratch, 22, host.MapServerEndpoint());  // address at 22, port at 26
  SendReply(host, connection, scratch, 28);

  // What comes next on this record is the map login, once a reconnect reuses
  // its socket value: it runs version detection again.
  connection.RedetectVersion = -1;
  TellMilestone(host, connection, Milestone::kSelect);
  ServerCloses(host, connection);
}

}  // namespace quib
