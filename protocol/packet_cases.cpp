#include "protocol/packet_cases.h"

#include <algorithm>
#include <cstdio>

#include "protocol/char_server.h"
#include "protocol/connection_record.h"
#include "protocol/login_server.h"
#include "protocol/map_server.h"
#include "protocol/packet_handler.h"
#include "protocol/packet_log.h"

namespace quib {

namespace {

// The branches that read their entry's field positions. Database rows match
// only when the connection's version has an entry, so there is one.
template <void (*Handler)(ProtocolHost&, ConnectionRecord&, const VersionEntry&, PacketBuffer&)>
void WithVersion(ProtocolHost& host, ConnectionRecord& connection, PacketBuffer& scratch) {
  Handler(host, connection, *ConnectionVersion(host, connection), scratch);
}

constexpr PacketCase Fixed(PacketRole role, std::uint16_t id, std::int32_t length, const char* name,
                           PacketHandlerFunction handle) {
  return {id, nullptr, LengthRule::kFixed, length, name, role, handle};
}

constexpr PacketCase Named(PacketEntry VersionEntry::*entry, const char* name,
                           PacketHandlerFunction handle, LengthRule rule = LengthRule::kEntry) {
  return {0, entry, rule, 0, name, PacketRole::kMap, handle};
}

constexpr PacketRole kLogin = PacketRole::kLogin;
constexpr PacketRole kCharacter = PacketRole::kCharacter;
constexpr PacketRole kMap = PacketRole::kMap;

const PacketCase kPacketCases[] = {
    Fixed(kLogin, 0x0200, 26, "Login pre-request", HandleLoginPreRequest),
    Fixed(kLogin, 0x0204, 18, "Login pre-request", HandleLoginPreRequest),
    Fixed(kLogin, 0x0064, 55, "Login request", HandleLoginRequest),
    Fixed(kLogin, 0x01DD, 55, "Login request", HandleLoginRequest),
    Fixed(kCharacter, 0x020B, 19, "Character server marker", HandleCharServerMarker),
    Fixed(kCharacter, 0x0065, 17, "Character connect", HandleCharServerConnect),
    Fixed(kCharacter, 0x0187, 6, "Ignored", nullptr),
    Fixed(kCharacter, 0x0068, 46, "Character delete", HandleCharacterDelete),
    Fixed(kCharacter, 0x0067, 37, "Character create", HandleCharacterCreate),
    Fixed(kCharacter, 0x0066, 3, "Character select", HandleCharacterSelect),
    Named(&VersionEntry::wanttoconnection, "Map login", HandleMapLogin),
    Fixed(kMap, 0x01C0, 2, "Ignored", nullptr),
    Named(&VersionEntry::loadendack, "Map loaded", HandleMapLoaded),
    Named(&VersionEntry::ticksend, "Tick", HandleTick),
    Fixed(kMap, 0x009B, 14, "Ignored", nullptr),
    Named(&VersionEntry::globalmessage, "Chat", WithVersion<HandleChat>, LengthRule::kChatField),
    Named(&VersionEntry::emotion, "Emotion", HandleEmotion),
    Named(&VersionEntry::sndoridori, "Sndoridori", HandleSndOriDori),
    Named(&VersionEntry::walktoxy, "Walk", WithVersion<HandleWalk>),
    Named(&VersionEntry::howmanyconnections, "User count request", HandleUserCount),
    Named(&VersionEntry::restart, "Restart", WithVersion<HandleRestart>),
};

}  // namespace

std::span<const PacketCase> PacketCases() { return kPacketCases; }

const PacketCase* FindPacketCase(std::uint16_t id, const VersionEntry* version) {
  for (const PacketCase& row : kPacketCases) {
    const bool matches =
        row.Entry == nullptr ? row.Id == id : version != nullptr && (version->*row.Entry).Id == id;
    if (matches) return &row;
  }
  return nullptr;
}

std::int32_t CaseLength(const PacketCase& packetCase, const VersionEntry* version,
                        const PacketBuffer& buffer) {
  switch (packetCase.Length) {
    case LengthRule::kFixed:
      return packetCase.FixedLength;
    case LengthRule::kEntry:
      return version == nullptr ? 0 : (version->*packetCase.Entry).Length;
    case LengthRule::kChatField:
      return ChatLength(buffer);
  }
  return 0;
}

std::int32_t ChatLength(const PacketBuffer& buffer) {
  // Unsigned: 0xFFFF is a long packet, not -1.
  return std::max<std::int32_t>(4, static_cast<std::uint16_t>(ReadInt16(buffer, 2)));
}

std::int32_t CaseHeadLength(const PacketCase& packetCase) {
  return packetCase.Length == LengthRule::kChatField ? 4 : 2;
}

std::string PacketCaseComment(const ConnectionRecord& connection, std::uint16_t id,
                              const PacketCase* packetCase) {
  char head[8];
  std::snprintf(head, sizeof head, "0x%04X ", id);
  if (id == 0x0000) return std::string(head) + "Ignored";
  // The unknown one names its log line too, hidden or not.
  if (packetCase == nullptr) {
    return std::string(head) + "Unknown packet: " + UnknownPacketLine(connection, id);
  }
  if (packetCase->Entry == nullptr) return head + std::string(packetCase->Name);
  return head + std::string(packetCase->Name) + ", packet version " +
         std::to_string(connection.PacketVersion);
}

}  // namespace quib
