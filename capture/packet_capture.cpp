#include "capture/packet_capture.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/tcp_ip_headers.h"

namespace quib {

namespace {

constexpr std::size_t kWriteBufferSize = std::size_t{64} * 1024;

// A fixed, well-spread initial sequence number per conversation and side, so
// that two captures of the same session compare equal.
std::uint32_t InitialSequence(std::uint64_t id, std::uint64_t side) {
  std::uint64_t x = id * 2 + side + 0x9E3779B97F4A7C15;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EB;
  return static_cast<std::uint32_t>(x ^ (x >> 31));
}

std::string Reason(int errorNumber) {
  return errorNumber != 0 ? std::strerror(errorNumber) : "the system gave no reason";
}

}  // namespace

PacketCapture::~PacketCapture() { Close(); }

bool PacketCapture::Open(const std::string& path, std::string& error) {
  Close();
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = "Unable to open the capture file " + path + ": " + Reason(errno);
    return false;
  }
  // The capture buffers on its own: every write goes straight to the file, so
  // a full disk shows at the write that meets it.
  std::setvbuf(file, nullptr, _IONBF, 0);
  file_ = file;
  path_ = path;
  if (!buffer_) buffer_ = std::make_unique<std::uint8_t[]>(kWriteBufferSize);
  buffered_ = 0;
  lastError_.clear();
  WriteFileHeader(*this);
  return true;
}

bool PacketCapture::Close() {
  conversations_.clear();
  if (file_ == nullptr) return true;
  bool written = Flush();
  if (file_ != nullptr) {
    errno = 0;
    if (std::fclose(file_) != 0 && written) {
      lastError_ = "Unable to close the capture file " + path_ + ": " + Reason(errno);
      written = false;
    }
    file_ = nullptr;
  }
  return written;
}

bool PacketCapture::Flush() {
  if (file_ == nullptr) return false;
  WriteOut(buffer_.get(), buffered_);
  buffered_ = 0;
  return file_ != nullptr;
}

void PacketCapture::BeginConversation(ConversationId id, std::uint32_t clientAddress,
                                      std::uint16_t clientPort, std::uint32_t serverAddress,
                                      std::uint16_t serverPort, Timestamp time) {
  if (file_ == nullptr) return;
  Conversation& c = conversations_[id];
  const std::uint32_t clientStart = InitialSequence(id, 0);
  const std::uint32_t serverStart = InitialSequence(id, 1);
  c.Client = Side{clientAddress, clientPort, clientStart, clientStart};
  c.Server = Side{serverAddress, serverPort, serverStart, serverStart};
  Segment(c.Client, c.Server, kTcpSyn, nullptr, 0, {}, time);
  Segment(c.Server, c.Client, kTcpSyn | kTcpAck, nullptr, 0, {}, time);
  Segment(c.Client, c.Server, kTcpAck, nullptr, 0, {}, time);
}

void PacketCapture::ClientData(ConversationId id, const std::uint8_t* bytes, std::size_t count,
                               std::string_view comment, Timestamp time) {
  Data(id, true, bytes, count, comment, time);
}

void PacketCapture::ServerData(ConversationId id, const std::uint8_t* bytes, std::size_t count,
                               Timestamp time) {
  Data(id, false, bytes, count, {}, time);
}

void PacketCapture::EndConversation(ConversationId id, EndKind how, Timestamp time) {
  const auto found = conversations_.find(id);
  if (file_ == nullptr || found == conversations_.end()) return;
  Conversation& c = found->second;
  if (how == EndKind::kReset) {
    Segment(c.Client, c.Server, kTcpRst | kTcpAck, nullptr, 0, {}, time);
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
  if (file_ == nullptr || found == conversations_.end()) return;
  Side& from = fromClient ? found->second.Client : found->second.Server;
  Side& to = fromClient ? found->second.Server : found->second.Client;
  for (std::size_t sent = 0; sent < count && file_ != nullptr;) {
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

  // SYN and FIN take one sequence number each.
  const bool control = (flags & (kTcpSyn | kTcpFin)) != 0;
  from.NextSequence += static_cast<std::uint32_t>(count) + (control ? 1 : 0);
  if (acknowledges) to.Acknowledged = to.NextSequence;
}

void PacketCapture::Put(const std::uint8_t* bytes, std::size_t count) {
  if (file_ == nullptr || count == 0) return;
  if (buffered_ + count > kWriteBufferSize) {
    const bool written = WriteOut(buffer_.get(), buffered_);
    buffered_ = 0;
    if (!written) return;
  }
  if (count >= kWriteBufferSize) {
    WriteOut(bytes, count);
    return;
  }
  std::memcpy(buffer_.get() + buffered_, bytes, count);
  buffered_ += count;
}

bool PacketCapture::WriteOut(const std::uint8_t* bytes, std::size_t count) {
  if (file_ == nullptr) return false;
  errno = 0;
  if (count == 0 || std::fwrite(bytes, 1, count, file_) == count) return true;
  lastError_ = "Unable to write the capture file " + path_ + ": " + Reason(errno);
  // The conversations stay until Close or Open: a caller may be in the middle
  // of one.
  std::fclose(file_);
  file_ = nullptr;
  buffered_ = 0;
  return false;
}

}  // namespace quib
