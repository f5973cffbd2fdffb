// The operator's view of the connection table: a row per connection, as the
// console's `conns` prints it and both windows' Connections window shows it.
// Each cell is text, made here once; the views only lay the cells out.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quib {

class Form1;

// The columns, in order, with their captions.
inline constexpr std::array<const char*, 10> kConnectionColumns = {
    "#",          "Address",  "Role",        "Version",   "State",
    "Packets in", "Bytes in", "Packets out", "Bytes out", "Last packet",
};

struct ConnectionRow {
  std::uint64_t Number = 0;  // ConnectionRecord::Conversation: what #N names
  std::array<std::string, kConnectionColumns.size()> Cells;
};

// Every record in the table, in order of acceptance, as it stands at `now`:
// its number, "127.0.0.1:52344", its role as the log names it ("login",
// "character", "map"; "-" before its first packet), its packet version in
// the map ("-" elsewhere), what the record knows of its state, packets and
// bytes each way, and the seconds since its last packet ("-" before one).
std::vector<ConnectionRow> ConnectionRows(const Form1& form,
                                          std::chrono::steady_clock::time_point now);

// The rows as a table in aligned columns under their captions, a line each:
// what `conns` prints. "No connection\n" when there is none.
std::string ConnectionTableText(const std::vector<ConnectionRow>& rows);

}  // namespace quib
