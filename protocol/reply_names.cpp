#include "protocol/reply_names.h"

#include <array>
#include <cstddef>
#include <string>

namespace quib {

namespace {

// Each reply's comment, made at compile time: the sends carry a text that
// outlives them, and the hot path formats nothing.
constexpr std::size_t kCommentSize = 48;
using Comment = std::array<char, kCommentSize>;

constexpr Comment IdAndName(std::uint16_t id, const char* name) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  Comment comment{'0', 'x'};
  for (std::size_t digit = 0; digit < 4; ++digit) {
    comment[2 + digit] = kDigits[id >> (12 - 4 * digit) & 15];
  }
  std::size_t at = 6;
  comment[at++] = ' ';
  for (const char* c = name; *c != '\0'; ++c) comment[at++] = *c;
  return comment;
}

// Every name fits, with its id and the zero byte that ends it.
constexpr bool NamesFit() {
  for (const PacketDescription* packet : kServerPackets) {
    if (std::char_traits<char>::length(packet->Name) + 8 > kCommentSize) return false;
  }
  return true;
}
static_assert(NamesFit());

constexpr auto MakeComments() {
  std::array<Comment, std::size(kServerPackets)> comments{};
  for (std::size_t i = 0; i < comments.size(); ++i) {
    comments[i] = IdAndName(kServerPackets[i]->Id, kServerPackets[i]->Name);
  }
  return comments;
}
constexpr auto kComments = MakeComments();

}  // namespace

const char* SentPacketComment(const PacketDescription* packet) {
  if (packet == nullptr) return nullptr;
  if (packet->Kind == PacketKind::kEcho) return packet->Name;
  return ReplyComment(packet->Id);
}

const char* ReplyComment(std::uint16_t id) {
  const std::size_t place = ServerPacketPlace(id);
  return place < kComments.size() ? kComments[place].data() : nullptr;
}

}  // namespace quib
