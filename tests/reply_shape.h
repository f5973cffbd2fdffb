// The replies a client expects, packet by packet: their ids and lengths, and
// what may differ between two runs of the same exchange.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace quib::test {

inline constexpr std::uint16_t kEcho = 0;  // the 4-byte account echo, which has no id

struct Reply {
  std::uint16_t Id;
  std::size_t Length;
  std::string Text = "";  // a chat line's text
};

inline std::size_t SizeOf(const std::vector<Reply>& replies) {
  std::size_t size = 0;
  for (const Reply& reply : replies) size += reply.Length;
  return size;
}

// "" when the replies are these packets, in this order.
inline std::string CheckShape(const Bytes& got, const std::vector<Reply>& replies) {
  std::size_t at = 0;
  for (const Reply& reply : replies) {
    if (at + reply.Length > got.size()) {
      return "replies end after " + std::to_string(got.size()) + " bytes";
    }
    if (reply.Id != kEcho && U16(got, at) != reply.Id) {
      return "reply " + std::to_string(U16(got, at)) + " where " + std::to_string(reply.Id) +
             " was due";
    }
    if (!reply.Text.empty() &&
        (U16(got, at + 2) != reply.Length || TextAt(got, at + 8, reply.Length - 8) != reply.Text)) {
      return "a chat line of " + std::to_string(U16(got, at + 2)) + " bytes, not exactly \"" +
             reply.Text + "\"";
    }
    at += reply.Length;
  }
  return got.size() == at ? "" : "more replies than due";
}

// A run's replies without what differs from one run to the next: the map
// tick, the user count, the speaker (whatever the connection's record
// carried) and the bytes sndoridori reads past its 2-byte request.
inline Bytes Masked(Bytes bytes, const std::vector<Reply>& replies) {
  std::size_t at = 0;
  const auto clear = [&](std::size_t from, std::size_t count) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at + from), count, 0);
  };
  for (const Reply& reply : replies) {
    if (at + reply.Length > bytes.size()) break;
    if (reply.Id == 0x0073 || reply.Id == 0x007F || reply.Id == 0x0087) clear(2, 4);
    if (reply.Id == 0x0069) clear(73, 2);
    if (reply.Id == 0x008D) clear(4, 4);
    if (reply.Id == 0x009C) clear(6, 3);
    at += reply.Length;
  }
  return bytes;
}

}  // namespace quib::test
