#include "protocol/reply_names.h"

namespace quib {

namespace {

struct Reply {
  std::uint16_t Id;
  const char* Comment;
};

constexpr Reply kReplies[] = {
    {0x0069, "0x0069 Server list"},     {0x006B, "0x006B Character list"},
    {0x006C, "0x006C Connect refused"}, {0x006E, "0x006E Create refused"},
    {0x0070, "0x0070 Delete refused"},  {0x0071, "0x0071 Map server"},
    {0x0073, "0x0073 Map login reply"}, {0x007F, "0x007F Tick reply"},
    {0x0087, "0x0087 Walk reply"},      {0x008D, "0x008D Chat line"},
    {0x0091, "0x0091 Map change"},      {0x009C, "0x009C Sndoridori reply"},
    {0x00A3, "0x00A3 Status list"},     {0x00A4, "0x00A4 Status list"},
    {0x00B0, "0x00B0 Status"},          {0x00B3, "0x00B3 Restart reply"},
    {0x00C0, "0x00C0 Emotion reply"},   {0x00C2, "0x00C2 User count"},
};

}  // namespace

const char* ReplyComment(std::uint16_t id) {
  for (const Reply& reply : kReplies) {
    if (reply.Id == id) return reply.Comment;
  }
  return nullptr;
}

}  // namespace quib
