#include "app/log_detail.h"

#include "app/connections.h"
#include "net/ipv4_text.h"

namespace quib {

namespace {

constexpr std::size_t kTimeLength = 12;  // "12:04:05.120"

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "hh:mm:ss.mmm" at the start of `text`.
bool StartsWithTime(std::string_view text) {
  if (text.size() < kTimeLength) return false;
  for (std::size_t i = 0; i < kTimeLength; ++i) {
    const bool separator = i == 2 || i == 5 || i == 8;
    if (separator ? text[i] != (i == 8 ? '.' : ':') : !IsDigit(text[i])) return false;
  }
  return true;
}

}  // namespace

std::string TimeOfDayText(std::int64_t microsecondsSinceMidnight) {
  const std::int64_t ms = microsecondsSinceMidnight / 1000;
  const auto twoDigits = [](std::int64_t value) {
    return std::string(1, static_cast<char>('0' + value / 10)) +
           static_cast<char>('0' + value % 10);
  };
  const std::int64_t millis = ms % 1000;
  return twoDigits(ms / 3600000 % 24) + ":" + twoDigits(ms / 60000 % 60) + ":" +
         twoDigits(ms / 1000 % 60) + "." + static_cast<char>('0' + millis / 100) +
         twoDigits(millis % 100);
}

std::string ConnectionText(const ConnectionRecord& connection) {
  return "#" + std::to_string(connection.Conversation) + " " +
         FormatIPv4(ntohl(connection.PeerAddress.sin_addr.s_addr)) + ":" +
         std::to_string(ntohs(connection.PeerAddress.sin_port));
}

std::string DetailPrefix(std::int64_t microsecondsSinceMidnight, const ConnectionRecord* about) {
  std::string prefix = TimeOfDayText(microsecondsSinceMidnight) + " ";
  if (about != nullptr) prefix += "[" + ConnectionText(*about) + "] ";
  return prefix;
}

std::string_view WithoutDetail(std::string_view line) {
  if (!StartsWithTime(line) || line.size() == kTimeLength || line[kTimeLength] != ' ') return line;
  std::string_view rest = line.substr(kTimeLength + 1);
  if (rest.rfind("[#", 0) == 0) {
    const std::size_t end = rest.find("] ");
    if (end != std::string_view::npos) rest.remove_prefix(end + 2);
  }
  return rest;
}

}  // namespace quib
