#include "capture/pcapng_format.h"

#include <chrono>

#include "base/byte_order.h"

namespace quib {

namespace {

constexpr std::uint32_t kSectionHeaderType = 0x0A0D0D0A;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint32_t kInterfaceType = 1;
constexpr std::uint32_t kEnhancedPacketType = 6;
constexpr std::uint16_t kLinkTypeIpv4 = 228;
constexpr std::uint16_t kOptionEnd = 0;
constexpr std::uint16_t kOptionComment = 1;
constexpr std::uint8_t kZeros[4] = {};

std::size_t Padding(std::size_t size) { return (4 - size % 4) % 4; }

void PutWord(ByteSink& sink, std::uint32_t value) {
  std::uint8_t bytes[4];
  StoreLittle32(bytes, value);
  sink.Put(bytes, sizeof bytes);
}

// The comment's bytes up to the limit, not splitting a UTF-8 character.
std::size_t CommentSize(std::string_view comment) {
  if (comment.size() <= kMaxCommentSize) return comment.size();
  std::size_t size = kMaxCommentSize;
  while (size > 0 && (static_cast<std::uint8_t>(comment[size]) & 0xC0) == 0x80) --size;
  return size;
}

}  // namespace

Timestamp TimestampNow() {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<Timestamp>(
      std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count());
}

void WriteFileHeader(ByteSink& sink) {
  std::uint8_t section[28];
  StoreLittle32(section, kSectionHeaderType);
  StoreLittle32(section + 4, sizeof section);
  StoreLittle32(section + 8, kByteOrderMagic);
  StoreLittle16(section + 12, 1);
  StoreLittle16(section + 14, 0);
  StoreLittle32(section + 16, 0xFFFFFFFF);
  StoreLittle32(section + 20, 0xFFFFFFFF);
  StoreLittle32(section + 24, sizeof section);
  sink.Put(section, sizeof section);

  std::uint8_t interface[20];
  StoreLittle32(interface, kInterfaceType);
  StoreLittle32(interface + 4, sizeof interface);
  StoreLittle16(interface + 8, kLinkTypeIpv4);
  StoreLittle16(interface + 10, 0);
  StoreLittle32(interface + 12, kSnapshotLength);
  StoreLittle32(interface + 16, sizeof interface);
  sink.Put(interface, sizeof interface);
}

void WritePacketBlock(ByteSink& sink, Timestamp time, const std::uint8_t* headers,
                      std::size_t headersSize, const std::uint8_t* payload, std::size_t payloadSize,
                      std::string_view comment) {
  const auto packetSize = static_cast<std::uint32_t>(headersSize + payloadSize);
  const std::size_t commentSize = CommentSize(comment);
  const std::size_t optionsSize = commentSize == 0 ? 0 : 4 + commentSize + Padding(commentSize) + 4;
  const auto blockSize =
      static_cast<std::uint32_t>(28 + packetSize + Padding(packetSize) + optionsSize + 4);

  std::uint8_t head[28];
  StoreLittle32(head, kEnhancedPacketType);
  StoreLittle32(head + 4, blockSize);
  StoreLittle32(head + 8, 0);
  StoreLittle32(head + 12, static_cast<std::uint32_t>(time >> 32));
  StoreLittle32(head + 16, static_cast<std::uint32_t>(time));
  StoreLittle32(head + 20, packetSize);
  StoreLittle32(head + 24, packetSize);
  sink.Put(head, sizeof head);
  sink.Put(headers, headersSize);
  sink.Put(payload, payloadSize);
  sink.Put(kZeros, Padding(packetSize));

  if (commentSize != 0) {
    std::uint8_t option[4];
    StoreLittle16(option, kOptionComment);
    StoreLittle16(option + 2, static_cast<std::uint16_t>(commentSize));
    sink.Put(option, sizeof option);
    sink.Put(reinterpret_cast<const std::uint8_t*>(comment.data()), commentSize);
    sink.Put(kZeros, Padding(commentSize));
    StoreLittle16(option, kOptionEnd);
    StoreLittle16(option + 2, 0);
    sink.Put(option, sizeof option);
  }
  PutWord(sink, blockSize);
}

}  // namespace quib
