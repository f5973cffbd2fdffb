// The description of the protocol holds together: every case has its row and
// a branch unless it is ignored, ids are not shared where dispatch cannot
// tell them apart, every field lies inside its packet, every value an Info
// text names exists, and the capture's comments are made from the rows.
#include "protocol/packet_descriptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/packet_cases.h"
#include "protocol/reply_names.h"
#include "tests/test_support.h"

namespace quib {
namespace {

std::string Hex(std::uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", id);
  return text;
}

// Every description: the client's, the server's and the rest.
std::vector<const PacketDescription*> AllRows() {
  std::vector<const PacketDescription*> rows(std::begin(kClientPackets), std::end(kClientPackets));
  rows.insert(rows.end(), std::begin(kServerPackets), std::end(kServerPackets));
  for (const PacketDescription* other :
       {&kNoPacket, &kAccountEcho, &kUnknownPacket, &kDroppedBytes}) {
    rows.push_back(other);
  }
  return rows;
}

TEST(PacketDescriptions, EveryCaseIsARowInOrderWithABranchUnlessIgnored) {
  const auto cases = PacketCases();
  ASSERT_EQ(cases.size(), std::size(kClientPackets));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const PacketDescription& row = *kClientPackets[i];
    EXPECT_EQ(cases[i].Id, row.Id) << row.Name;
    EXPECT_EQ(cases[i].Entry, row.Entry) << row.Name;
    EXPECT_STREQ(cases[i].Name, row.Name);
    EXPECT_EQ(cases[i].Handle == nullptr, std::string(row.Name) == kNoPacket.Name) << row.Name;
  }
}

TEST(PacketDescriptions, IdsAreNotShared) {
  std::set<std::uint16_t> client{kNoPacket.Id};
  std::set<std::string_view> members;
  for (const PacketDescription* row : kClientPackets) {
    if (row->Entry == nullptr) {
      EXPECT_TRUE(client.insert(row->Id).second) << Hex(row->Id);
    } else {
      EXPECT_TRUE(members.insert(PacketMemberName(row->Entry)).second) << row->Name;
      EXPECT_EQ(row->Role, PacketRole::kMap) << row->Name;
    }
  }
  EXPECT_EQ(members.size(), std::size(kPacketMembers));
  std::set<std::uint16_t> server;
  for (const PacketDescription* row : kServerPackets) {
    EXPECT_TRUE(server.insert(row->Id).second) << Hex(row->Id);
    EXPECT_EQ(FindServerPacket(row->Id), row);
  }
  EXPECT_EQ(FindServerPacket(0x0436), nullptr);
}

// The lookups every packet and every send go through answer as the tables
// read in order do, for every id: the first case under each shipped version
// (and under none), and the row of a packet the server sends.
TEST(PacketDescriptions, LookupsAnswerAsTheTablesReadInOrder) {
  const PacketTable table = test::ShippedTable();
  std::vector<const VersionEntry*> versions{nullptr};
  for (const VersionEntry& version : table) versions.push_back(&version);
  for (std::uint32_t wide = 0; wide <= 0xFFFF; ++wide) {
    const auto id = static_cast<std::uint16_t>(wide);
    const auto sent = std::find_if(std::begin(kServerPackets), std::end(kServerPackets),
                                   [&](const PacketDescription* row) { return row->Id == id; });
    ASSERT_EQ(FindServerPacket(id), sent != std::end(kServerPackets) ? *sent : nullptr) << Hex(id);
    for (const VersionEntry* version : versions) {
      const auto cases = PacketCases();
      const auto first = std::find_if(cases.begin(), cases.end(), [&](const PacketCase& row) {
        return row.Entry == nullptr ? row.Id == id
                                    : version != nullptr && (version->*row.Entry).Id == id;
      });
      ASSERT_EQ(FindPacketCase(id, version), first != cases.end() ? &*first : nullptr) << Hex(id);
    }
  }
}

TEST(PacketDescriptions, FieldsLieInsideTheirPacketAndInfoNamesOnlyTheirValues) {
  for (const PacketDescription* row : AllRows()) {
    std::set<std::string> names{"version", "why"};
    for (const PacketField& field : row->Layout) {
      names.insert(field.Name != nullptr ? field.Name : field.Field);
      if (field.Reading == FieldReading::kEntries) names.insert({"entries", "entry_count"});
      if (row->Length == LengthRule::kFixed && !field.FromSlot) {
        EXPECT_GE(field.Offset, row->Kind == PacketKind::kEcho ? 0 : 2) << row->Name;
        EXPECT_LE(field.Offset + (field.Width == kRest ? 0 : field.Width), row->FixedLength)
            << row->Name << " " << field.Field;
      }
    }
    const std::string info = row->Info;
    for (std::size_t open = info.find('{'); open != std::string::npos;
         open = info.find('{', open + 1)) {
      const std::string name = info.substr(open + 1, info.find('}', open) - open - 1);
      EXPECT_TRUE(names.count(name)) << row->Name << ": {" << name << "}";
    }
  }
}

// --- The capture's comments -------------------------------------------------------

TEST(PacketDescriptions, RepliesAreCommentedByIdAndName) {
  for (const PacketDescription* row : kServerPackets) {
    ASSERT_NE(ReplyComment(row->Id), nullptr) << row->Name;
    EXPECT_EQ(ReplyComment(row->Id), Hex(row->Id) + " " + row->Name);
  }
  EXPECT_EQ(ReplyComment(0x0436), nullptr);
  EXPECT_STREQ(SentPacketComment(&kAccountEcho), "Account echo");
  EXPECT_STREQ(SentPacketComment(&kWalkReply), "0x0087 Walk reply");
  EXPECT_EQ(SentPacketComment(nullptr), nullptr);
  // One the capture of the road carries, as it always has.
  EXPECT_STREQ(ReplyComment(0x0069), "0x0069 Server list");
}

}  // namespace
}  // namespace quib
