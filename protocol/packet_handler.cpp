// Framing and dispatch. A packet is known by its 16-bit id at offset 0 alone,
// whatever role the connection plays. Login and character packets have fixed
// ids and lengths; the nine named map packets take theirs from the connection's
// packet version, and globalmessage is framed by its 16-bit value at offset 2
// plus 4. Dispatch and framing test the ids in one order, first match wins, so
// an id that a version shares with a fixed id goes to whichever comes first.
#include "protocol/packet_handler.h"

#include <algorithm>
#include <cstdio>

#include "app/main_window.h"
#include "protocol/char_server.h"
#include "protocol/login_server.h"
#include "protocol/map_server.h"
#include "protocol/packet_log.h"

namespace quib {

namespace {

// The cases after the empty id 0x0000, in the order they are tested.
enum class PacketCase {
  kLoginPreRequest,    // 0x0200, 0x0204
  kLoginRequest,       // 0x0064, 0x01DD
  kCharServerMarker,   // 0x020B
  kCharServerConnect,  // 0x0065
  kCharIgnored,        // 0x0187
  kCharacterDelete,    // 0x0068
  kCharacterCreate,    // 0x0067
  kCharacterSelect,    // 0x0066
  kMapLogin,           // wanttoconnection
  kMapIgnored01C0,     // 0x01C0
  kMapLoaded,          // loadendack
  kTick,               // ticksend
  kMapIgnored009B,     // 0x009B
  kChat,               // globalmessage
  kEmotion,            // emotion
  kSndOriDori,         // sndoridori
  kWalk,               // walktoxy
  kUserCount,          // howmanyconnections
  kRestart,            // restart
  kUnknown,            // anything else
};

// Without a version entry no named case matches.
PacketCase FindPacketCase(std::uint16_t id, const VersionEntry* version) {
  const auto named = [&](const PacketEntry VersionEntry::*entry) {
    return version != nullptr && id == (version->*entry).Id;
  };
  if (id == 0x0200 || id == 0x0204) return PacketCase::kLoginPreRequest;
  if (id == 0x0064 || id == 0x01DD) return PacketCase::kLoginRequest;
  if (id == 0x020B) return PacketCase::kCharServerMarker;
  if (id == 0x0065) return PacketCase::kCharServerConnect;
  if (id == 0x0187) return PacketCase::kCharIgnored;
  if (id == 0x0068) return PacketCase::kCharacterDelete;
  if (id == 0x0067) return PacketCase::kCharacterCreate;
  if (id == 0x0066) return PacketCase::kCharacterSelect;
  if (named(&VersionEntry::wanttoconnection)) return PacketCase::kMapLogin;
  if (id == 0x01C0) return PacketCase::kMapIgnored01C0;
  if (named(&VersionEntry::loadendack)) return PacketCase::kMapLoaded;
  if (named(&VersionEntry::ticksend)) return PacketCase::kTick;
  if (id == 0x009B) return PacketCase::kMapIgnored009B;
  if (named(&VersionEntry::globalmessage)) return PacketCase::kChat;
  if (named(&VersionEntry::emotion)) return PacketCase::kEmotion;
  if (named(&VersionEntry::sndoridori)) return PacketCase::kSndOriDori;
  if (named(&VersionEntry::walktoxy)) return PacketCase::kWalk;
  if (named(&VersionEntry::howmanyconnections)) return PacketCase::kUserCount;
  if (named(&VersionEntry::restart)) return PacketCase::kRestart;
  return PacketCase::kUnknown;
}

// Runs the branch for a nonzero id. False when the branch has already dropped
// the packet, so that it must not be consumed.
bool Dispatch(Form1& form, ConnectionRecord& connection, std::uint16_t id, PacketBuffer& scratch) {
  const VersionEntry* version = ConnectionVersion(form, connection);
  switch (FindPacketCase(id, version)) {
    case PacketCase::kLoginPreRequest:
      HandleLoginPreRequest(form, connection);
      break;
    case PacketCase::kLoginRequest:
      HandleLoginRequest(form, connection, scratch);
      break;
    case PacketCase::kCharServerMarker:
      HandleCharServerMarker(form, connection);
      break;
    case PacketCase::kCharServerConnect:
      return HandleCharServerConnect(form, connection, scratch);
    case PacketCase::kCharIgnored:
      break;
    case PacketCase::kCharacterDelete:
      HandleCharacterDelete(form, connection, scratch);
      break;
    case PacketCase::kCharacterCreate:
      HandleCharacterCreate(form, connection, scratch);
      break;
    case PacketCase::kCharacterSelect:
      HandleCharacterSelect(form, connection, scratch);
      break;
    case PacketCase::kMapLogin:
      HandleMapLogin(form, connection, scratch);
      break;
    case PacketCase::kMapIgnored01C0:
      break;
    case PacketCase::kMapLoaded:
      HandleMapLoaded(form, connection, scratch);
      break;
    case PacketCase::kTick:
      HandleTick(form, connection, scratch);
      break;
    case PacketCase::kMapIgnored009B:
      break;
    case PacketCase::kChat:
      HandleChat(form, connection, *version, scratch);
      break;
    case PacketCase::kEmotion:
      HandleEmotion(form, connection, scratch);
      break;
    case PacketCase::kSndOriDori:
      HandleSndOriDori(form, connection, scratch);
      break;
    case PacketCase::kWalk:
      HandleWalk(form, connection, *version, scratch);
      break;
    case PacketCase::kUserCount:
      HandleUserCount(form, connection, scratch);
      break;
    case PacketCase::kRestart:
      HandleRestart(form, connection, *version, scratch);
      break;
    case PacketCase::kUnknown:
      HandleUnknownPacket(form, connection, id);
      break;
  }
  return true;
}

// The length of the packet at the head of the buffer; 0 when it cannot be
// framed.
std::int32_t FramedLength(const ConnectionRecord& connection, std::uint16_t id,
                          const VersionEntry* version) {
  switch (FindPacketCase(id, version)) {
    case PacketCase::kLoginPreRequest:
      return id == 0x0200 ? 26 : 18;
    case PacketCase::kLoginRequest:
      return 55;
    case PacketCase::kCharServerMarker:
      return 19;
    case PacketCase::kCharServerConnect:
      return 17;
    case PacketCase::kCharIgnored:
      return 6;
    case PacketCase::kCharacterDelete:
      return 46;
    case PacketCase::kCharacterCreate:
      return 37;
    case PacketCase::kCharacterSelect:
      return 3;
    case PacketCase::kMapLogin:
      return version->wanttoconnection.Length;
    case PacketCase::kMapIgnored01C0:
      return 2;
    case PacketCase::kMapLoaded:
      return version->loadendack.Length;
    case PacketCase::kTick:
      return version->ticksend.Length;
    case PacketCase::kMapIgnored009B:
      return 14;
    // The length field is unsigned: 0xFFFF is a long packet, not -1.
    case PacketCase::kChat:
      return 4 + static_cast<std::uint16_t>(ReadInt16(connection.RecvBuffer, 2));
    case PacketCase::kEmotion:
      return version->emotion.Length;
    case PacketCase::kSndOriDori:
      return version->sndoridori.Length;
    case PacketCase::kWalk:
      return version->walktoxy.Length;
    case PacketCase::kUserCount:
      return version->howmanyconnections.Length;
    case PacketCase::kRestart:
      return version->restart.Length;
    case PacketCase::kUnknown:
      return 0;
  }
  return 0;
}

// How the server reads a packet, for the capture's comment.
const char* PacketCaseName(PacketCase packetCase) {
  switch (packetCase) {
    case PacketCase::kLoginPreRequest:
      return "login pre-request";
    case PacketCase::kLoginRequest:
      return "login request";
    case PacketCase::kCharServerMarker:
      return "character server marker";
    case PacketCase::kCharServerConnect:
      return "character server connect";
    case PacketCase::kCharIgnored:
      return "0x0187, ignored";
    case PacketCase::kCharacterDelete:
      return "character delete";
    case PacketCase::kCharacterCreate:
      return "character create";
    case PacketCase::kCharacterSelect:
      return "character select";
    case PacketCase::kMapLogin:
      return "wanttoconnection";
    case PacketCase::kMapIgnored01C0:
      return "0x01C0, ignored";
    case PacketCase::kMapLoaded:
      return "loadendack";
    case PacketCase::kTick:
      return "ticksend";
    case PacketCase::kMapIgnored009B:
      return "0x009B, ignored";
    case PacketCase::kChat:
      return "globalmessage";
    case PacketCase::kEmotion:
      return "emotion";
    case PacketCase::kSndOriDori:
      return "sndoridori";
    case PacketCase::kWalk:
      return "walktoxy";
    case PacketCase::kUserCount:
      return "howmanyconnections";
    case PacketCase::kRestart:
      return "restart";
    case PacketCase::kUnknown:
      return "unknown";
  }
  return "";
}

// The cases whose id and length come from the packet database.
bool IsNamedCase(PacketCase packetCase) {
  switch (packetCase) {
    case PacketCase::kMapLogin:
    case PacketCase::kMapLoaded:
    case PacketCase::kTick:
    case PacketCase::kChat:
    case PacketCase::kEmotion:
    case PacketCase::kSndOriDori:
    case PacketCase::kWalk:
    case PacketCase::kUserCount:
    case PacketCase::kRestart:
      return true;
    default:
      return false;
  }
}

// Puts the packet at the head of the buffer in the capture before it is
// handled, so that its replies follow it: the bytes framing will remove,
// with the server's reading of them as the comment.
void CapturePacket(Form1& form, ConnectionRecord& connection, std::uint16_t id, std::int32_t held) {
  const VersionEntry* version = ConnectionVersion(form, connection);
  const PacketCase packetCase = FindPacketCase(id, version);
  const std::int32_t length = FramedLength(connection, id, version);
  const std::int32_t framed = length <= 0 || length > held ? held : length;
  char comment[96];
  if (id == 0x0000) {
    std::snprintf(comment, sizeof comment, "id 0, ignored");
  } else if (packetCase == PacketCase::kUnknown) {
    std::snprintf(comment, sizeof comment, "%s", UnknownPacketLine(connection, id).c_str());
  } else if (IsNamedCase(packetCase)) {
    std::snprintf(comment, sizeof comment, "%s, packet version %d", PacketCaseName(packetCase),
                  connection.PacketVersion);
  } else {
    std::snprintf(comment, sizeof comment, "%s", PacketCaseName(packetCase));
  }
  form.CaptureClientBytes(connection, 0, framed, comment);
  connection.CapturedHead = framed;
}

}  // namespace

void HandlePacket(Form1& form, ConnectionRecord& connection) {
  if (connection.RecvLength < 0) connection.RecvLength = 0;
  if (connection.RecvLength == 0) return;
  // Handled as soon as one byte is in: bytes not yet received read as whatever
  // the buffer holds there.
  const auto id = static_cast<std::uint16_t>(ReadInt16(connection.RecvBuffer, 0));
  const bool capturing = form.Capture.IsOpen();
  const std::int32_t held = std::min(connection.RecvLength, kBufferSize);
  if (capturing) CapturePacket(form, connection, id, held);
  PacketBuffer scratch{};  // every reply of this call is built here, in turn
  if (id == 0x0000 || Dispatch(form, connection, id, scratch)) ConsumePacket(form, connection, id);
  if (capturing) {
    // A branch that emptied the buffer took the packets behind this one too.
    if (connection.RecvLength == 0 && connection.CapturedHead < held) {
      form.CaptureClientBytes(connection, connection.CapturedHead, held,
                              "dropped with the packet before it");
    }
    connection.CapturedHead = 0;
  }
}

void ConsumePacket(Form1& form, ConnectionRecord& connection, std::uint16_t packetId) {
  if (connection.RecvLength <= 0) return;
  const std::int32_t held = std::min(connection.RecvLength, kBufferSize);
  const std::int32_t length =
      FramedLength(connection, packetId, ConnectionVersion(form, connection));
  // A length of 0 or less would leave the same bytes at the head for every
  // later tick, and a packet longer than what is held cannot be cut from it:
  // either way everything buffered goes. A packet longer than the buffer
  // can ever hold has its rest skipped as it arrives.
  if (length <= 0 || length >= held) {
    if (length > kBufferSize) connection.SkipLength = length - held;
    connection.RecvLength = 0;
    return;
  }
  auto* bytes = connection.RecvBuffer.data();
  std::move(bytes + length, bytes + held, bytes);
  connection.RecvLength = held - length;
}

const VersionEntry* ConnectionVersion(const Form1& form, const ConnectionRecord& connection) {
  return FindVersion(form.Packets, connection.PacketVersion);
}

void SendReply(Form1& form, ConnectionRecord& connection, const PacketBuffer& buffer,
               std::int32_t length) {
  form.SendToConnection(connection, buffer.data(), std::clamp(length, 0, kBufferSize));
}

void WriteServerEndpoint(PacketBuffer& buffer, std::int32_t offset, const ServerAddress& server) {
  const std::uint32_t address = ntohl(server.Address.sin_addr.s_addr);
  for (std::int32_t i = 0; i < 4; ++i) {
    WriteByte(buffer, offset + i, static_cast<std::uint8_t>(address >> (24 - 8 * i)));
  }
  WriteInt16(buffer, offset + 4, ntohs(server.Address.sin_port));
}

}  // namespace quib
