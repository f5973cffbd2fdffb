// The bytes behind the latest log lines of one kind ("Unknown Packet" lines,
// or the packet lines of "Show Every Packet"), so that an operator can see
// what a client sent or the server answered. A fixed number is kept, each at most a receive buffer
// long: memory stays bounded however long the server runs. Each is known by the number of its log
// line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/packet_buffer.h"

namespace quib {

class UnknownPackets {
 public:
  static constexpr std::size_t kKept = 1000;

  struct Packet {
    std::uint64_t Line = 0;  // the log line's number (ListBox::Appended() order)
    std::string Text;        // the log line as designed
    // When it came and from which connection, as the detailed log puts them
    // ahead of the line: "12:04:05.120 [#3 127.0.0.1:52344] ".
    std::string Source;
    std::int32_t Length = 0;
    PacketBuffer Bytes{};
  };

  void Add(std::uint64_t line, std::string text, std::string source, const std::uint8_t* bytes,
           std::int32_t count);
  // The packet of log line `line`, or nullptr when its bytes are no longer held.
  const Packet* Find(std::uint64_t line) const;
  std::size_t Count() const { return packets_.size(); }
  // The `back`-th newest packet, 0 the newest; `back` below Count().
  const Packet& Newest(std::size_t back) const;
  void Clear();

 private:
  std::vector<Packet> packets_;  // a ring once full
  std::size_t next_ = 0;         // where the next one goes once full
};

// Bytes as an operator reads them, 16 a line: offset, hex, printable text.
//   0000  43 21 00 61 ...  C!.a............
std::string FormatHexDump(const std::uint8_t* bytes, std::size_t count);

// A kept packet for people: when and whence, its log line, its size, then
// its bytes. An unknown packet's size is what was buffered ("2 bytes
// buffered"); a packet line's is its packet's ("5 bytes").
std::string DescribeUnknownPacket(const UnknownPackets::Packet& packet,
                                  const char* unit = "bytes buffered");

}  // namespace quib
