// "Show Time and Connection": what goes ahead of a designed log line when the
// operator asks who and when, as in
//   12:04:05.120 [#3 127.0.0.1:52344] CharSvrReq - 7F000001
// The designed line itself never changes: scripts read it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quib {

struct ConnectionRecord;
struct Endpoint;

// "12:04:05.120": the time of day to the millisecond.
std::string TimeOfDayText(std::int64_t microsecondsSinceMidnight);

// "#3 127.0.0.1:52344": the connection's number and the client's address.
std::string ConnectionText(const ConnectionRecord& connection);
// The same of a connection known by its number and its peer alone.
std::string ConnectionText(std::uint64_t conversation, const Endpoint& peer);

// The time, then the connection in brackets when the line is about one, then
// a space.
std::string DetailPrefix(std::int64_t microsecondsSinceMidnight, const ConnectionRecord* about);

}  // namespace quib
