#include "app/log_detail.h"

#include "app/connections.h"
#include "net/ipv4_text.h"

namespace quib {

std::string TimeOfDayText(std::int64_t microsecondsSinceMidnight) {
  const std::int64_t ms = microsecondsSinceMidnight / 1000;
  std::string text = "00:00:00.000";
  const auto put = [&text](std::size_t at, std::int64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) {
      text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    }
  };
  put(0, ms / 3600000 % 24, 2);
  put(3, ms / 60000 % 60, 2);
  put(6, ms / 1000 % 60, 2);
  put(9, ms % 1000, 3);
  return text;
}

// Appended piece by piece: "literal" + a temporary string sets off a false
// overlap warning in GCC 12 at -O3.
std::string ConnectionText(std::uint64_t conversation, const Endpoint& peer) {
  std::string text = "#";
  text += std::to_string(conversation);
  text += ' ';
  text += FormatEndpoint(peer);
  return text;
}

std::string ConnectionText(const ConnectionRecord& connection) {
  return ConnectionText(connection.Conversation, EndpointOf(connection.PeerAddress));
}

std::string DetailPrefix(std::int64_t microsecondsSinceMidnight, const ConnectionRecord* about) {
  std::string prefix = TimeOfDayText(microsecondsSinceMidnight);
  prefix += ' ';
  if (about != nullptr) {
    prefix += '[';
    prefix += ConnectionText(*about);
    prefix += "] ";
  }
  return prefix;
}

}  // namespace quib
