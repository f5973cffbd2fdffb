#include "protocol/unknown_packets.h"

#include <algorithm>
#include <cstdio>

namespace quib {

void UnknownPackets::Add(std::uint64_t line, std::string text, std::string source,
                         const std::uint8_t* bytes, std::int32_t count) {
  Packet* slot;
  if (packets_.size() < kKept) {
    slot = &packets_.emplace_back();
  } else {
    slot = &packets_[next_];
    next_ = (next_ + 1) % kKept;
  }
  slot->Line = line;
  slot->Text = std::move(text);
  slot->Source = std::move(source);
  slot->Length = std::clamp(count, 0, kBufferSize);
  std::copy(bytes, bytes + slot->Length, slot->Bytes.begin());
}

const UnknownPackets::Packet* UnknownPackets::Find(std::uint64_t line) const {
  for (const Packet& packet : packets_) {
    if (packet.Line == line) return &packet;
  }
  return nullptr;
}

const UnknownPackets::Packet& UnknownPackets::Newest(std::size_t back) const {
  // Before the ring is full the newest is last; after, just before next_.
  const std::size_t newest =
      packets_.size() < kKept ? packets_.size() - 1 : (next_ + kKept - 1) % kKept;
  return packets_[(newest + kKept - back) % kKept];
}

void UnknownPackets::Clear() {
  std::vector<Packet>().swap(packets_);
  next_ = 0;
}

std::string DescribeUnknownPacket(const UnknownPackets::Packet& packet, const char* unit) {
  return packet.Source + packet.Text + " (" + std::to_string(packet.Length) + " " + unit + ")\n" +
         FormatHexDump(packet.Bytes.data(), static_cast<std::size_t>(packet.Length));
}

std::string FormatHexDump(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char part[24];
  for (std::size_t row = 0; row < count; row += 16) {
    std::snprintf(part, sizeof part, "%04zX ", row);
    text += part;
    for (std::size_t i = row; i < row + 16; ++i) {
      if (i % 8 == 0) text += ' ';
      if (i < count) {
        std::snprintf(part, sizeof part, "%02X ", bytes[i]);
        text += part;
      } else {
        text += "   ";
      }
    }
    text += ' ';
    for (std::size_t i = row; i < std::min(row + 16, count); ++i) {
      text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
    }
    text += '\n';
  }
  return text;
}

}  // namespace quib
