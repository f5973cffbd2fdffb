#include "protocol/packet_cases.h"

#include <algorithm>

#include "app/connections.h"
#include "protocol/char_server.h"
#include "protocol/login_server.h"
#include "protocol/map_server.h"
#include "protocol/packet_handler.h"
#include "protocol/packet_log.h"

namespace quib {

namespace {

// The branches that read their entry's field positions. Database rows match
// only when the connection's version has an entry, so there is one.
template <void (*Handler)(Form1&, ConnectionRecord&, const VersionEntry&, PacketBuffer&)>
void WithVersion(Form1& form, ConnectionRecord& connection, PacketBuffer& scratch) {
  Handler(form, connection, *ConnectionVersion(form, connection), scratch);
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
    Fixed(kLogin, 0x0200, 26, "login pre-request", HandleLoginPreRequest),
    Fixed(kLogin, 0x0204, 18, "login pre-request", HandleLoginPreRequest),
    Fixed(kLogin, 0x0064, 55, "login request", HandleLoginRequest),
    Fixed(kLogin, 0x01DD, 55, "login request", HandleLoginRequest),
    Fixed(kCharacter, 0x020B, 19, "character server marker", HandleCharServerMarker),
    Fixed(kCharacter, 0x0065, 17, "character server connect", HandleCharServerConnect),
    Fixed(kCharacter, 0x0187, 6, "0x0187, ignored", nullptr),
    Fixed(kCharacter, 0x0068, 46, "character delete", HandleCharacterDelete),
    Fixed(kCharacter, 0x0067, 37, "character create", HandleCharacterCreate),
    Fixed(kCharacter, 0x0066, 3, "character select", HandleCharacterSelect),
    Named(&VersionEntry::wanttoconnection, "wanttoconnection", HandleMapLogin),
    Fixed(kMap, 0x01C0, 2, "0x01C0, ignored", nullptr),
    Named(&VersionEntry::loadendack, "loadendack", HandleMapLoaded),
    Named(&VersionEntry::ticksend, "ticksend", HandleTick),
    Fixed(kMap, 0x009B, 14, "0x009B, ignored", nullptr),
    Named(&VersionEntry::globalmessage, "globalmessage", WithVersion<HandleChat>,
          LengthRule::kChatField),
    Named(&VersionEntry::emotion, "emotion", HandleEmotion),
    Named(&VersionEntry::sndoridori, "sndoridori", HandleSndOriDori),
    Named(&VersionEntry::walktoxy, "walktoxy", WithVersion<HandleWalk>),
    Named(&VersionEntry::howmanyconnections, "howmanyconnections", HandleUserCount),
    Named(&VersionEntry::restart, "restart", WithVersion<HandleRestart>),
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
    // The length field is unsigned, 0xFFFF a long packet, not -1; one that
    // does not even cover the head frames the head alone.
    case LengthRule::kChatField:
      return std::max<std::int32_t>(4, static_cast<std::uint16_t>(ReadInt16(buffer, 2)));
  }
  return 0;
}

std::int32_t CaseHeadLength(const PacketCase& packetCase) {
  return packetCase.Length == LengthRule::kChatField ? 4 : 2;
}

std::string PacketCaseComment(const ConnectionRecord& connection, std::uint16_t id,
                              const PacketCase* packetCase) {
  if (id == 0x0000) return "id 0, ignored";
  if (packetCase == nullptr) return UnknownPacketLine(connection, id);
  if (packetCase->Entry == nullptr) return packetCase->Name;
  return std::string(packetCase->Name) + ", packet version " +
         std::to_string(connection.PacketVersion);
}

}  // namespace quib
