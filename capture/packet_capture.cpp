#include "capture/packet_capture.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "capture/tcp_ip_headers.h"

namespace quib {

namespace {

// Blocks go to the file once this much waits; the buffer holds that and the
// largest block besides, so that a block is never split between writes.
constexpr std::size_t kWriteBufferSize = std::size_t{64} * 1024;
constexpr std::size_t kBufferCapacity = kWriteBufferSize + kMaxPacketBlockSize;

// A fixed, well-spread initial sequence number per conversation and side, so
// that two captures of the same session compare equal.
std::uint32_t InitialSequence(std::uint64_t id, std::uint64_t side) {
  std::uint64_t x = id * 2 + side + 0x9E3779B97F4A7C15;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EB;
  return static_cast<std::uint32_t>(x ^ (x >> 31));
}

// The file's header, gathered for the new file's first write.
struct HeaderBytes final : ByteSink {
  std::array<std::uint8_t, 64> Bytes{};  // the header is 48 bytes
  std::size_t Size = 0;
  void Put(const std::uint8_t* bytes, std::size_t count) override {
    const std::size_t taken = std::min(count, Bytes.size() - Size);
    std::memcpy(Bytes.data() + Size, bytes, taken);
    Size += taken;
  }
};

}  // namespace

PacketCapture::~PacketCapture() { Close(); }

bool PacketCapture::Open(const std::string& path, std::string& error) {
  // Creating the file that runs would empty it, whatever name it goes by.
  if (Writes(path)) return true;
  // The capture that runs keeps everything it has seen, and goes on until a
  // new file has taken its first write.
  Flush();
  OutputFile next;
  std::string reason;
  if (!next.Create(path, reason)) {
    error = "Unable to open the capture file " + path + ": " + reason;
    return false;
  }
  HeaderBytes header;
  WriteFileHeader(header);
  std::size_t written = 0;
  if (!next.Write(header.Bytes.data(), header.Size, written, reason)) {
    next.Truncate(0);
    error = "Unable to write the capture file " + path + ": " + reason;
    return false;
  }
  Close();
  file_.Swap(next);
  path_ = path;
  if (!buffer_) buffer_ = std::make_unique<std::uint8_t[]>(kBufferCapacity);
  buffered_ = 0;
  written_ = written;
  lastError_.clear();
  return true;
}

bool PacketCapture::Close() {
  conversations_.clear();
  if (!IsOpen()) return true;
  bool written = Flush();
  std::string reason;
  if (IsOpen() && !file_.Close(reason) && written) {
    lastError_ = "Unable to close the capture file " + path_ + ": " + reason;
    written = false;
  }
  return written;
}

bool PacketCapture::Flush() {
  if (!IsOpen()) return false;
  return WriteOut();
}

void PacketCapture::BeginConversation(ConversationId id, std::uint32_t clientAddress,
                                      std::uint16_t clientPort, std::uint32_t serverAddress,
                                      std::uint16_t serverPort, Timestamp time,
                                      std::string_view comment) {
  if (!IsOpen()) return;
  Conversation& c = conversations_[id];
  const std::uint32_t clientStart = InitialSequence(id, 0);
  const std::uint32_t serverStart = InitialSequence(id, 1);
  c.Client = Side{clientAddress, clientPort, clientStart, clientStart};
  c.Server = Side{serverAddress, serverPort, serverStart, serverStart};
  Segment(c.Client, c.Server, kTcpSyn, nullptr, 0, comment, time);
  Segment(c.Server, c.Client, kTcpSyn | kTcpAck, nullptr, 0, {}, time);
  Segment(c.Client, c.Server, kTcpAck, nullptr, 0, {}, time);
}

void PacketCapture::ClientData(ConversationId id, const std::uint8_t* bytes, std::size_t count,
                               std::string_view comment, Timestamp time) {
  Data(id, true, bytes, count, comment, time);
}

void PacketCapture::ServerData(ConversationId id, const std::uint8_t* bytes, std::size_t count,
                               std::string_view comment, Timestamp time) {
  Data(id, false, bytes, count, comment, time);
}

void PacketCapture::EndConversation(ConversationId id, EndKind how, Timestamp time) {
  const auto found = conversations_.find(id);
  if (!IsOpen() || found == conversations_.end()) return;
  Conversation& c = found->second;
  if (how == EndKind::kReset || how == EndKind::kServerReset) {
    const bool byClient = how == EndKind::kReset;
    Segment(byClient ? c.Client : c.Server, byClient ? c.Server : c.Client, kTcpRst | kTcpAck,
            nullptr, 0, {}, time);
  } else {
    const bool byClient = how == EndKind::kClientClosed;
    Side& closer = byClient ? c.Client : c.Server;
    Side& other = byClient ? c.Server : c.Client;
    Segment(closer, other, kTcpFin | kTcpAck, nullptr, 0, {}, time);
    Segment(other, closer, kTcpFin | kTcpAck, nullptr, 0, {}, time);
    Segment(closer, other, kTcpAck, nullptr, 0, {}, time);
  }
  conversations_.erase(found);
}

void PacketCapture::Data(ConversationId id, bool fromClient, const std::uint8_t* bytes,
                         std::size_t count, std::string_view comment, Timestamp time) {
  const auto found = conversations_.find(id);
  if (!IsOpen() || found == conversations_.end()) return;
  Side& from = fromClient ? found->second.Client : found->second.Server;
  Side& to = fromClient ? found->second.Server : found->second.Client;
  for (std::size_t sent = 0; sent < count && IsOpen();) {
    const std::size_t size = std::min(count - sent, kMaxTcpPayload);
    // The receiver acknowledges before the bytes in flight would reach its
    // window: a sender filling it is what analysers flag.
    if (from.NextSequence - from.Acknowledged + size >= kTcpWindow) {
      Segment(to, from, kTcpAck, nullptr, 0, {}, time);
    }
    Segment(from, to, kTcpPsh | kTcpAck, bytes + sent, size, comment, time);
    comment = {};
    sent += size;
  }
}

void PacketCapture::Segment(Side& from, Side& to, std::uint8_t flags, const std::uint8_t* payload,
                            std::size_t count, std::string_view comment, Timestamp time) {
  const bool acknowledges = (flags & kTcpAck) != 0;
  TcpSegment segment;
  segment.Source = from.Address;
  segment.Destination = to.Address;
  segment.SourcePort = from.Port;
  segment.DestinationPort = to.Port;
  segment.Sequence = from.NextSequence;
  segment.Acknowledgement = acknowledges ? to.NextSequence : 0;
  segment.Flags = flags;
  segment.IpId = nextIpId_++;
  std::uint8_t headers[kMaxTcpIpHeaderSize];
  const std::size_t headersSize = PutTcpIpHeaders(headers, segment, payload, count);
  WritePacketBlock(*this, time, headers, headersSize, payload, count, comment);
  EndBlock();

  // SYN and FIN take one sequence number each.
  const bool control = (flags & (kTcpSyn | kTcpFin)) != 0;
  from.NextSequence += static_cast<std::uint32_t>(count) + (control ? 1 : 0);
  if (acknowledges) to.Acknowledged = to.NextSequence;
}

void PacketCapture::Put(const std::uint8_t* bytes, std::size_t count) {
  if (!IsOpen() || count == 0) return;
  // No block is larger than the room kept for one: this only guards.
  if (buffered_ + count > kBufferCapacity && !WriteOut()) return;
  const std::size_t taken = std::min(count, kBufferCapacity - buffered_);
  std::memcpy(buffer_.get() + buffered_, bytes, taken);
  buffered_ += taken;
}

void PacketCapture::EndBlock() {
  if (buffered_ >= kWriteBufferSize) WriteOut();
}

bool PacketCapture::WriteOut() {
  if (!IsOpen()) return false;
  std::string reason;
  // What reached the disk of these blocks goes again, so that the file ends
  // on a whole block and reads to its end. The conversations stay until Close
  // or Open: a caller may be in the middle of one.
  const bool whole = file_.AppendWhole(buffer_.get(), buffered_, written_, reason);
  buffered_ = 0;
  if (whole) return true;
  lastError_ = "Unable to write the capture file " + path_ + ": " + reason;
  return false;
}

}  // namespace quib
