// The blocks of a capture file in the pcapng layout, written little-endian.
//
// Every block is: type (32 bits), total length (32), body, total length again;
// bodies and option values are padded with zero bytes to 32 bits. The file
// opens with a Section Header Block (type 0x0A0D0D0A: byte-order magic
// 0x1A2B3C4D, version 1.0, section length -1 for "not given") and one Interface
// Description Block (type 1: link type 228, raw IPv4 packets; reserved 0;
// snapshot length 65535; no options, so timestamps count microseconds). Each
// packet is an Enhanced Packet Block (type 6: interface 0, timestamp high and
// low 32 bits, captured and original length, the packet, options). The only
// option written is a comment (code 1, length, UTF-8 text), followed by the end
// of options (code 0, length 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quib {

// Microseconds since 1970-01-01 00:00 UTC.
using Timestamp = std::uint64_t;

// The system clock as a Timestamp.
Timestamp TimestampNow();

// Where blocks go. Put takes the bytes in order; a sink that fails remembers
// it and takes the rest without complaint.
class ByteSink {
 public:
  virtual void Put(const std::uint8_t* bytes, std::size_t count) = 0;

 protected:
  ~ByteSink() = default;
};

inline constexpr std::uint32_t kSnapshotLength = 65535;
// The longest comment one option holds, in bytes.
inline constexpr std::size_t kMaxCommentSize = 65532;
// The largest Enhanced Packet Block: head, the longest packet padded, a
// comment option of the longest comment, the end of options, the trailer.
inline constexpr std::size_t kMaxPacketBlockSize =
    28 + kSnapshotLength + 3 + 4 + kMaxCommentSize + 4 + 4;

// The Section Header Block and the Interface Description Block.
void WriteFileHeader(ByteSink& sink);

// One Enhanced Packet Block whose packet is `headers` then `payload` (together
// at most kSnapshotLength bytes). An empty comment writes no options; a longer
// one than kMaxCommentSize is cut there, at the start of a UTF-8 character.
void WritePacketBlock(ByteSink& sink, Timestamp time, const std::uint8_t* headers,
                      std::size_t headersSize, const std::uint8_t* payload, std::size_t payloadSize,
                      std::string_view comment);

}  // namespace quib
