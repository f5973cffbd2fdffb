// The map role's replies. Every packet is built at the offsets of its layout:
//
//   echo              4 bytes   0 s32 2000000 (the account id the login reply gives out)
//   kMapLoginReply   11 bytes   0 id | 2 s32 tick | 6 packed cell | 9 u8 5 | 10 u8 5
//   kStatus           8 bytes   0 id | 2 u16 type 1 | 4 s32 value 99
//   kStatusListFirst, kStatusListSecond
//                     4 bytes   0 id | 2 u16 total length 4
//   kTickReply        6 bytes   0 id | 2 s32 tick
//   kChatLine         8 + n     0 id | 2 u16 total length | 4 s32 speaker | 8 text, n bytes
//   kEmotionReply     7 bytes   0 id | 2 s32 account id | 6 u8 emotion
//   kSndOriDoriReply  9 bytes   0 id | 2 s32 character id | 6 u16 value | 8 u8 value
//   kWalkReply       12 bytes   0 id | 2 s32 tick | 6 packed move, 5 bytes | 11 u8 0
//   kUserCount        6 bytes   0 id | 2 s32 count
//   kRestartReply     3 bytes   0 id | 2 u8 type
//
// Their ids and names are their rows' in packet_descriptions.h.
//
// The tick is the server's map tick; the client's own is never read. The one
// request of varying length, the chat (globalmessage), carries its length as
// the replies do: 0 id | 2 u16 total length, head included | 4 text (its
// field positions come from the packet database, slots 0 and 1).
#include "protocol/map_server.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/settings.h"
#include "protocol/connection_events.h"
#include "protocol/connection_record.h"
#include "protocol/login_server.h"
#include "protocol/map_commands.h"
#include "protocol/packet_cases.h"
#include "protocol/packet_descriptions.h"
#include "protocol/packet_handler.h"
#include "protocol/protocol_host.h"
#include "protocol/receive_path.h"

namespace quib {

namespace {

constexpr int kStatusRepeats = 55;

// The 0x008D chat line, shared by system messages and chat. Returns its total
// length, read back from the packet.
std::int32_t WriteChatLine(PacketBuffer& buffer, std::int32_t speakerId, std::string_view text) {
  const auto width = static_cast<std::int32_t>(text.size());
  WriteInt16(buffer, 0, kChatLine.Id);
  WriteInt16(buffer, 2, static_cast<std::uint16_t>(8 + width));
  WriteInt32(buffer, 4, static_cast<std::uint32_t>(speakerId));
  WriteFixedString(buffer, 8, text, width);
  return static_cast<std::uint16_t>(ReadInt16(buffer, 2));
}

// A header-only list packet: id and a total length of 4.
void SendEmptyList(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch,
                   std::uint16_t packetId) {
  WriteInt16(scratch, 0, packetId);
  WriteInt16(scratch, 2, 4);
  SendReply(host, connection, scratch, ReadInt16(scratch, 2));
}

}  // namespace

void SendSystemMessage(ProtocolHost& host, ConnectionRecord& connection, std::string_view text) {
  if (connection.State != kStateMap) return;
  PacketBuffer buffer{};
  SendReply(host, connection, buffer, WriteChatLine(buffer, connection.CharacterId, text));
}

void ReadPosition(const PacketBuffer& buffer, std::int32_t offset, std::int32_t& x,
                  std::int32_t& y) {
  const std::int32_t b0 = ReadByte(buffer, offset);
  const std::int32_t b1 = ReadByte(buffer, offset + 1);
  const std::int32_t b2 = ReadByte(buffer, offset + 2);
  x = b0 * 4 + b1 / 64;
  y = (b1 & 63) * 16 + b2 / 16;
}

void HandleMapLogin(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch) {
  SendAccountEcho(host, connection, scratch, kAccountId);

  ReadClampedPosition(host, Axis::kX, kCellRange.Lowest, kCellRange.Highest, connection.PosX);
  ReadClampedPosition(host, Axis::kY, kCellRange.Lowest, kCellRange.Highest, connection.PosY);

  WriteInt16(scratch, 0, kMapLoginReply.Id);
  WriteInt32(scratch, 2, static_cast<std::uint32_t>(host.CurrentMapTick()));
  WritePosition(scratch, 6, connection.PosX, connection.PosY);
  WriteByte(scratch, 9, 5);
  WriteByte(scratch, 10, 5);
  SendReply(host, connection, scratch, 11);

  // The greeting needs the connection in the map first.
  connection.State = kStateMap;
  SendSystemMessage(host, connection, "System : Welcome to the Quib-Server!!!");
  SendSystemMessage(host, connection,
                    "System : Note, This is not intended to be a fully functional server.");

  host.Emit({.Kind = EventKind::kMilestone, .Connection = &connection, .Step = Milestone::kMap});
}

void HandleMapLoaded(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch) {
  host.Emit({.Kind = EventKind::kMilestone, .Connection = &connection, .Step = Milestone::kLoaded});
  if (host.ReloadPending()) {
    // The client has loaded the reload map: send everyone back instead of
    // greeting this arrival.
    DropReceived(host, connection, kDroppedBehindUnknown);
    EndMapReload(host);
    return;
  }
  WriteInt16(scratch, 0, kStatus.Id);
  WriteInt16(scratch, 2, 1);
  WriteInt32(scratch, 4, 99);
  for (int i = 0; i < kStatusRepeats; ++i) SendReply(host, connection, scratch, 8);
  SendEmptyList(host, connection, scratch, kStatusListFirst.Id);
  SendEmptyList(host, connection, scratch, kStatusListSecond.Id);
}

void HandleTick(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch) {
  WriteInt16(scratch, 0, kTickReply.Id);
  WriteInt32(scratch, 2, static_cast<std::uint32_t>(host.CurrentMapTick()));
  SendReply(host, connection, scratch, 6);
}

void HandleChat(ProtocolHost& host, ConnectionRecord& connection, const VersionEntry& version,
                PacketBuffer& scratch) {
  // The length framing read counts the whole packet, its 4-byte head
  // included; the text is what follows the head, up to what was received,
  // and at most what a chat line can carry.
  const std::int32_t textOffset = version.globalmessage.Positions[1];
  const std::int32_t packet = LengthField(connection.RecvBuffer);
  const std::int32_t announced = packet - textOffset;
  std::int32_t length = std::min(packet, connection.RecvLength) - textOffset;
  if (length > kBufferSize - 8) length = kBufferSize - 8;
  if (length < 1) return;

  // Copied through the stack, not a string: a chat line allocates nothing.
  std::array<char, kBufferSize> text;
  const auto size = static_cast<std::size_t>(length);
  for (std::size_t i = 0; i < size; ++i) {
    text[i] = static_cast<char>(
        ReadByte(connection.RecvBuffer, textOffset + static_cast<std::int32_t>(i)));
  }
  const std::int32_t line =
      WriteChatLine(scratch, connection.CharacterId, std::string_view(text.data(), size));
  SendToMap(host, scratch, line);
  // A chat that came whole, or filled the buffer, and still did not fit is
  // told; one handled short is told as such already.
  if (length < announced && connection.RecvLength >= std::min(packet, kBufferSize)) {
    host.Emit({.Kind = EventKind::kTextCut,
               .Connection = &connection,
               .Bytes = {connection.RecvBuffer.data() + textOffset, size},
               .Id = static_cast<std::uint16_t>(ReadInt16(connection.RecvBuffer, 0)),
               .Length = announced});
  }
}

void HandleEmotion(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch) {
  WriteInt16(scratch, 0, kEmotionReply.Id);
  WriteInt32(scratch, 2, static_cast<std::uint32_t>(connection.AccountId));
  WriteByte(scratch, 6, ReadByte(connection.RecvBuffer, 2));
  SendToMap(host, scratch, 7);
}

void HandleSndOriDori(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch) {
  // These request offsets are fixed, not taken from the packet table.
  WriteInt16(scratch, 0, kSndOriDoriReply.Id);
  WriteInt32(scratch, 2, static_cast<std::uint32_t>(connection.CharacterId));
  WriteInt16(scratch, 6, static_cast<std::uint16_t>(ReadInt16(connection.RecvBuffer, 4)));
  WriteByte(scratch, 8, ReadByte(connection.RecvBuffer, 9));
  SendToMap(host, scratch, 9);
}

void HandleWalk(ProtocolHost& host, ConnectionRecord& connection, const VersionEntry& version,
                PacketBuffer& scratch) {
  std::int32_t x = 0;
  std::int32_t y = 0;
  ReadPosition(connection.RecvBuffer, version.walktoxy.Positions[0], x, y);

  WriteInt16(scratch, 0, kWalkReply.Id);
  WriteInt32(scratch, 2, static_cast<std::uint32_t>(host.CurrentMapTick()));
  WritePositionPair(scratch, 6, connection.PosX, connection.PosY, x, y);
  WriteByte(scratch, 11, 0);
  SendReply(host, connection, scratch, 12);

  // No path or timing: the character is at the destination at once.
  connection.PosX = x;
  connection.PosY = y;
}

void HandleUserCount(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch) {
  WriteInt16(scratch, 0, kUserCount.Id);
  WriteInt32(scratch, 2, 1);
  SendReply(host, connection, scratch, 6);
}

void HandleRestart(ProtocolHost& host, ConnectionRecord& connection, const VersionEntry& version,
                   PacketBuffer& scratch) {
  // Slot 0, like every other branch: a restart line lists only the type
  // byte, and the later slots hold leftovers from other lines.
  if (ReadByte(connection.RecvBuffer, version.restart.Positions[0]) != 1) return;
  WriteInt16(scratch, 0, kRestartReply.Id);
  WriteByte(scratch, 2, 1);
  SendReply(host, connection, scratch, 3);
}

}  // namespace quib
