#include "protocol/packet_cases.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

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

// The branch of each packet that has one; the others are taken and ignored.
struct Branch {
  const PacketDescription* Packet;
  PacketHandlerFunction Handle;
};
constexpr Branch kBranches[] = {
    {&kLoginPreRequest, HandleLoginPreRequest},
    {&kLoginHashPreRequest, HandleLoginPreRequest},
    {&kLoginRequest, HandleLoginRequest},
    {&kLoginHashRequest, HandleLoginRequest},
    {&kCharServerMarker, HandleCharServerMarker},
    {&kCharConnect, HandleCharServerConnect},
    {&kCharacterDelete, HandleCharacterDelete},
    {&kCharacterCreate, HandleCharacterCreate},
    {&kCharacterSelect, HandleCharacterSelect},
    {&kMapLogin, HandleMapLogin},
    {&kMapLoaded, HandleMapLoaded},
    {&kTick, HandleTick},
    {&kChat, WithVersion<HandleChat>},
    {&kEmotion, HandleEmotion},
    {&kSndOriDori, HandleSndOriDori},
    {&kWalk, WithVersion<HandleWalk>},
    {&kUserCountRequest, HandleUserCount},
    {&kRestart, WithVersion<HandleRestart>},
};

// The cases in the order of the client's packets, each with its branch.
constexpr auto MakeCases() {
  std::array<PacketCase, std::size(kClientPackets)> cases{};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    cases[i] = {*kClientPackets[i], nullptr};
    for (const Branch& branch : kBranches) {
      if (branch.Packet == kClientPackets[i]) cases[i].Handle = branch.Handle;
    }
  }
  return cases;
}
// Made before main: with AddressSanitizer GCC takes no comparison of two
// objects' addresses for a constant.
const auto kPacketCases = MakeCases();

// Every packet is looked up twice, framed and consumed: the cases of a fixed
// id by a search over them sorted by id (in table order where ids are
// alike), the few that take their id from the version entry one by one.
struct FixedCase {
  std::uint16_t Id;
  std::uint16_t Row;  // in kPacketCases
};

struct EntryCase {
  PacketEntry VersionEntry::*Entry;
  std::uint16_t Row;
};

struct CaseIndex {
  std::vector<FixedCase> Fixed;
  std::vector<EntryCase> FromEntry;  // in table order
};

CaseIndex MakeIndex() {
  CaseIndex index;
  for (std::size_t row = 0; row < kPacketCases.size(); ++row) {
    const auto at = static_cast<std::uint16_t>(row);
    if (kPacketCases[row].Entry == nullptr) {
      index.Fixed.push_back({kPacketCases[row].Id, at});
    } else {
      index.FromEntry.push_back({kPacketCases[row].Entry, at});
    }
  }
  // By id, then by row: the first row of an id comes first.
  std::sort(index.Fixed.begin(), index.Fixed.end(), [](const FixedCase& a, const FixedCase& b) {
    return a.Id != b.Id ? a.Id < b.Id : a.Row < b.Row;
  });
  return index;
}
const CaseIndex kCaseIndex = MakeIndex();

}  // namespace

std::span<const PacketCase> PacketCases() { return kPacketCases; }

const PacketCase* FindPacketCase(std::uint16_t id, const VersionEntry* version) {
  // The first row that matches: a fixed one, unless an entry's comes before it.
  std::size_t first = kPacketCases.size();
  const auto fixed =
      std::lower_bound(kCaseIndex.Fixed.begin(), kCaseIndex.Fixed.end(), id,
                       [](const FixedCase& row, std::uint16_t wanted) { return row.Id < wanted; });
  if (fixed != kCaseIndex.Fixed.end() && fixed->Id == id) first = fixed->Row;
  for (const EntryCase& row : kCaseIndex.FromEntry) {
    if (version == nullptr || row.Row >= first) break;
    if ((version->*row.Entry).Id == id) {
      first = row.Row;
      break;
    }
  }
  return first < kPacketCases.size() ? &kPacketCases[first] : nullptr;
}

std::int32_t CaseLength(const PacketDescription& packet, const VersionEntry* version,
                        const PacketBuffer& buffer) {
  switch (packet.Length) {
    case LengthRule::kFixed:
      return packet.FixedLength;
    case LengthRule::kEntry:
      return version == nullptr ? 0 : (version->*packet.Entry).Length;
    case LengthRule::kLengthField:
      return LengthField(buffer);
    case LengthRule::kAll:
      return 0;
  }
  return 0;
}

std::int32_t LengthField(const PacketBuffer& buffer) {
  // Unsigned: 0xFFFF is a long packet, not -1.
  return std::max<std::int32_t>(4, static_cast<std::uint16_t>(ReadInt16(buffer, 2)));
}

std::int32_t CaseHeadLength(const PacketDescription& packet) {
  return packet.Length == LengthRule::kLengthField ? 4 : 2;
}

std::string PacketCaseComment(const ConnectionRecord& connection, std::uint16_t id,
                              const PacketCase* packetCase) {
  char head[8];
  std::snprintf(head, sizeof head, "0x%04X ", id);
  // Appended piece by piece: GCC 12 takes "text" + string for an overlap at -O3.
  std::string comment = head;
  if (id == kNoPacket.Id) return comment += kNoPacket.Name;
  // The unknown one names its log line too, hidden or not.
  if (packetCase == nullptr) {
    comment += kUnknownPacket.Name;
    comment += ": ";
    return comment += UnknownPacketLine(connection, id);
  }
  comment += packetCase->Name;
  if (packetCase->Entry == nullptr) return comment;
  comment += ", packet version ";
  return comment += std::to_string(connection.PacketVersion);
}

}  // namespace quib
